// mervik-cli: the standby cycle without a window, for servers, scheduled jobs and scripts.

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "automation/mervik_core.h"
#include "automation/program_start.h"
#include "automation/sibling_runner.h"
#include "console/comparison_report.h"
#include "console/console_view.h"
#include "platform/instance_lock.h"
#include "platform/path_style.h"
#include "platform/process_spawn.h"
#include "platform/stop_signals.h"
#include "settings/Tolvane1.h"
#include "shell/UnitShell.h"

namespace {

constexpr int kExitNormal = 0;
constexpr int kExitNoParFile = 1;
constexpr int kExitStartCheck = 2;
constexpr int kExitRunFailed = 3;
// As other comparison tools have it: every pair ran, and some differed.
constexpr int kExitDiffered = 10;

constexpr const char* kUsage =
    "Usage: mervik-cli [--once] START [/op|/ot|/os|/ov|/oh] [FILE1 [FOLDER2 [OUTDIR]]]\n"
    "       mervik-cli --help | --version\n"
    "\n"
    "Waits for pairs of multi-page drawing files of the same name in the folder of\n"
    "FILE1 (a path with a file pattern, such as ~/in1/*.pdf) and in FOLDER2, has\n"
    "them compared by the sibling programs and writes the result to OUTDIR.\n"
    "Values not given are taken from the parameter file, and given ones are kept there;\n"
    "relative paths are made absolute first.\n"
    "\n"
    "  START    the start-switch position, always the first argument: /a (or /b)\n"
    "           as the window program takes them; any other word, such as -, only\n"
    "           fills the position. Standby starts in every case.\n"
    "  --once   make the start checks, run every pair that is ready, then end\n"
    "  --once --report FILE   also append one JSON line per pair to FILE: the\n"
    "           input files, the result file, the outcome (same, different,\n"
    "           failed), pages and the changed regions as the legend lists them\n"
    "  /op /ot /os /ov /oh   output type PDF, TIFF, SXF(.p21), SXF(.sfc), HPGL\n"
    "\n"
    "Ctrl-C, SIGTERM or SIGHUP ends the program after the run in progress.\n"
    "Exit status: 0 normal end (with --once: every pair ran and none differed),\n"
    "1 parameter file cannot be loaded, 2 a start check failed, 3 (--once) a run\n"
    "failed, 10 (--once) every pair ran and at least one differed; with --once a\n"
    "summary goes to standard error.\n";

// The first argument is always the start-switch position. A path or an
// output switch there is used up unseen and the rest shifts, so say how it
// was read before the shifted values end up in the parameter file.
void hintAtStartPosition(const std::vector<std::string>& args) {
    if (args.empty())
        return;
    const std::string& first = args[0];
    if (first == "/a" || first == "/A" || first == "/b" || first == "/B")
        return;
    const bool outputSwitch = first.size() == 3 && first[0] == '/' && first[1] == 'o';
    const bool pathLike = first.find_first_of("/.*?~") != std::string::npos;
    if (!outputSwitch && !pathLike)
        return;
    std::fprintf(stderr,
                 "mervik-cli: \"%s\" was read as the start-switch position (the first "
                 "argument) and ignored; to use it, write /a (or -) before it\n",
                 first.c_str());
}

void printSummary(const mervik::RunTally& t) {
    std::fprintf(stderr, "mervik-cli: pairs run %d, complete %d, failed %d\n", t.run, t.complete,
                 t.failed);
    for (const std::string& folder : t.keptIn)
        std::fprintf(stderr, "mervik-cli: failed pair kept in %s\n", folder.c_str());
}

// Every pair that is ready now, each at most once in this invocation: a pair
// that could not be removed would otherwise be run for ever. Returns
// whether any pair's drawings differed; with a report file, appends each
// pair's line to it.
bool runReadyPairs(mervik::MervikCore& core, const std::string& reportFile) {
    using namespace mervik;
    std::set<std::string> done;
    bool differed = false;
    const std::string summary = joinPath(Settings.sDataDir, kComparisonReportName);
    while (!stopRequested()) {
        const std::string name = core.FindInputFile();
        if (name.empty() || !done.insert(name).second)
            break;
        // A summary left by an earlier pass must not stand for this one.
        std::remove(summary.c_str());
        PairOutcome pair;
        pair.file1 = folderPart(Settings.sChgAreaDir1) + name;
        pair.file2 = Settings.sChgAreaDir2 + name;
        core.RunPass(name);
        pair.complete = core.lastRunComplete;
        pair.result = core.writtenOutput();
        pair.comparison = readComparison(summary);
        differed = differed || (pair.complete && pair.differ());
        if (!reportFile.empty() && !appendReportLine(reportFile, reportLine(pair)))
            std::fprintf(stderr, "mervik-cli: cannot write the report %s\n", reportFile.c_str());
    }
    return differed;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--help") {
        std::fputs(kUsage, stdout);
        return kExitNormal;
    }
    if (!args.empty() && args[0] == "--version") {
        std::printf("%s\n", std::string(mervik::ParFileVersion).c_str());
        return kExitNormal;
    }
    bool once = false;
    if (!args.empty() && args[0] == "--once") {
        once = true;
        args.erase(args.begin());
    }
    std::string reportFile;
    if (once && args.size() >= 2 && args[0] == "--report") {
        std::error_code ec;
        reportFile = std::filesystem::absolute(args[1], ec).string();
        if (ec)
            reportFile = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }

    using namespace mervik;
    LoadFolderPathLibrary();
    const std::string localAppData = GetSpecialFolderPath(sfLocalAppData);
    InstanceLock lock;
    if (!takeSingleInstanceLock(lock, localAppData))
        return kExitNormal;
    hintAtStartPosition(args);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Mervik"));
    const int stopFd = installStopSignals();

    ConsoleView view(stdout, isTerminal(stdout));
    setWarningHook([&view](const std::string& text) {
        view.finishStatusLine();
        const std::string out = warningForConsole(text);
        std::fprintf(stderr, "%s\n", out.c_str());
        std::fflush(stderr);
    });

    ProcessRunner runner;
    CoreEnvironment env;
    env.localAppData = localAppData;
    env.initFolder = initFolderOf(executableFolder());
    MervikCore core(Settings, view, runner, env);
    // The session lock above does not see an instance of another session or
    // machine on the same data folder; this one does, for the whole process.
    if (core.lockDataFolder() == DataFolderLockResult::heldByOther)
        return kExitNormal;

    // Every end goes through the program's normal end: settings saved, the
    // siblings' parameter files restored.
    auto end = [&](int status) {
        view.setTimerEnabled(false);
        view.finishStatusLine();
        core.FormDestroy();
        FreeFolderPathLibrary();
        return status;
    };

    core.FormCreate();
    if (!core.FormPaint(args))
        return end(kExitNoParFile);
    // No button to wait for: standby starts now (the first paint did it for /a and /b).
    if (!core.AutoStartRequested)
        core.ButtonAutoOutputClick();
    if (!core.StandbyActive)
        return end(kExitStartCheck);

    if (once) {
        view.setTimerEnabled(false);
        const bool differed = runReadyPairs(core, reportFile);
        printSummary(core.tally);
        return end(core.tally.failed > 0 ? kExitRunFailed : differed ? kExitDiffered : kExitNormal);
    }

    QObject::connect(&view.Timer1, &QTimer::timeout, &app,
                     [&core] { core.ButtonAutoOutputClick(); });
    // A request during a run is seen when the run has ended and the loop resumes.
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (stopFd >= 0) {
        stopNotifier = std::make_unique<QSocketNotifier>(stopFd, QSocketNotifier::Read);
        QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, &app,
                         [] { QCoreApplication::quit(); });
    }
    if (!stopRequested())
        app.exec();
    return end(kExitNormal);
}
