// mervik-cli: the standby cycle without a window, for servers, scheduled jobs and scripts.

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "automation/error_log.h"
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
// As a failed start check: the command line could not be used.
constexpr int kExitUsage = 2;

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
    "1 parameter file cannot be loaded, 2 a start check failed or the command line\n"
    "is not usable (an unknown option, a malformed output switch),\n"
    "3 (--once) a run failed, 10 (--once) every pair ran and at least one differed;\n"
    "with --once a summary goes to standard error.\n"
    "Values from the command line are kept only when they pass the start checks.\n";

// The first argument is always the start-switch position. A path or an
// output switch there is used up unseen and the rest shifts, so say how it
// was read; the shifted values are then kept out of the parameter file.
// Returns whether it was misread so.
bool hintAtStartPosition(const std::vector<std::string>& args) {
    if (args.empty())
        return false;
    const std::string& first = args[0];
    if (first == "/a" || first == "/A" || first == "/b" || first == "/B")
        return false;
    const bool outputSwitch = first.size() == 3 && first[0] == '/' && first[1] == 'o';
    const bool pathLike = first.find_first_of("/.*?~") != std::string::npos;
    if (!outputSwitch && !pathLike)
        return false;
    std::fprintf(stderr,
                 "mervik-cli: \"%s\" was read as the start-switch position (the first "
                 "argument) and ignored; to use it, write /a (or -) before it\n",
                 first.c_str());
    return true;
}

struct CliOptions {
    bool help = false;
    bool version = false;
    bool once = false;
    std::string reportFile;  // absolute; empty without --report
};

// Takes the options (words beginning with "--", anywhere before a "--" that
// ends them) out of args. Returns an empty text, or what makes the command
// line unusable.
std::string takeOptions(std::vector<std::string>& args, CliOptions& options) {
    std::vector<std::string> rest;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.rfind("--", 0) != 0) {
            rest.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--once") {
            options.once = true;
        } else if (arg == "--report") {
            if (i + 1 >= args.size())
                return "--report needs the file to append to";
            std::error_code ec;
            options.reportFile = std::filesystem::absolute(args[++i], ec).string();
            if (ec)
                options.reportFile = args[i];
        } else {
            return "unknown option \"" + arg + "\"";
        }
    }
    args = std::move(rest);
    if (!options.reportFile.empty() && !options.once)
        return "--report goes with --once";
    return {};
}

// An output switch is /o and one of p, t, s, v, h. Any other /o or /oX in
// the switch's position is a typing error here: run as a path, it
// would take the place of comparison file 1.
std::string checkSwitches(const std::vector<std::string>& args) {
    std::vector<std::string> given;
    for (const std::string& a : args)
        if (!a.empty())
            given.push_back(a);
    if (given.size() < 2)
        return {};
    const std::string& second = given[1];
    // Longer words such as /opt/in/*.pdf are paths.
    const bool outputShaped =
        (second.size() == 2 || second.size() == 3) && second[0] == '/' && second[1] == 'o';
    const bool valid =
        second.size() == 3 && std::string_view("ptsvh").find(second[2]) != std::string_view::npos;
    if (outputShaped && !valid)
        return "\"" + second + "\" is no output switch (/op, /ot, /os, /ov or /oh)";
    return {};
}

int usageError(const std::string& problem) {
    std::fprintf(stderr, "mervik-cli: %s\n", problem.c_str());
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// Started by a service or a scheduler, the program would stand by without a
// word; one line says where it looks and how it is ended.
void announceStandby(const mervik::TSettings& settings) {
    std::fprintf(stderr,
                 "mervik-cli: standing by: pairs of %s and %s, results to %s, a look every "
                 "%d s; end with SIGTERM (kill %ld) or Ctrl-C\n",
                 mervik::escapeControls(settings.sChgAreaDir1).c_str(),
                 mervik::escapeControls(settings.sChgAreaDir2).c_str(),
                 mervik::escapeControls(settings.sOutDir).c_str(),
                 static_cast<int>(settings.iWaitTime), static_cast<long>(getpid()));
    std::fflush(stderr);
}

// The values the command line can replace, back to what was loaded.
void restoreCommandLineValues(mervik::TSettings& settings, const mervik::TSettings& loaded) {
    settings.sChgAreaDir1 = loaded.sChgAreaDir1;
    settings.sChgAreaDir2 = loaded.sChgAreaDir2;
    settings.sOutDir = loaded.sOutDir;
    settings.iOutTyp = loaded.iOutTyp;
}

void printSummary(const mervik::RunTally& t) {
    std::fprintf(stderr, "mervik-cli: pairs run %d, complete %d, failed %d\n", t.run, t.complete,
                 t.failed);
    for (const std::string& folder : t.keptIn)
        std::fprintf(stderr, "mervik-cli: failed pair kept in %s\n",
                     mervik::escapeControls(folder).c_str());
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
    CliOptions options;
    if (const std::string problem = takeOptions(args, options); !problem.empty())
        return usageError(problem);
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitNormal;
    }
    if (options.version) {
        std::printf("%s\n", std::string(mervik::ParFileVersion).c_str());
        return kExitNormal;
    }
    if (const std::string problem = checkSwitches(args); !problem.empty())
        return usageError(problem);
    const bool once = options.once;
    const std::string& reportFile = options.reportFile;

    using namespace mervik;
    LoadFolderPathLibrary();
    const std::string localAppData = GetSpecialFolderPath(sfLocalAppData);
    InstanceLock lock;
    if (!takeSingleInstanceLock(lock, localAppData))
        return kExitNormal;
    const bool startMisread = hintAtStartPosition(args);

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

    // Command-line values are kept in the parameter file only when they were
    // read as meant and passed the start checks; one typo saved there would
    // break every later start.
    TSettings loaded;
    bool keepCommandLine = !startMisread;
    // Every end goes through the program's normal end: settings saved, the
    // siblings' parameter files restored.
    auto end = [&](int status) {
        view.setTimerEnabled(false);
        view.finishStatusLine();
        if (!keepCommandLine)
            restoreCommandLineValues(Settings, loaded);
        core.FormDestroy();
        FreeFolderPathLibrary();
        return status;
    };

    core.FormCreate();
    // Loaded first without the command line, to know what it replaces.
    if (!core.FormPaint({}))
        return end(kExitNoParFile);
    loaded = Settings;
    core.applyCommandLine(args);
    // No button to wait for: standby starts now, whatever the start switch.
    core.ButtonAutoOutputClick();
    if (!core.StandbyActive) {
        keepCommandLine = false;
        return end(kExitStartCheck);
    }

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
    if (!isTerminal(stdin) || !isTerminal(stderr))
        announceStandby(Settings);
    if (!stopRequested())
        app.exec();
    return end(kExitNormal);
}
