#include "automation/mervik_core.h"

#include <QDateTime>
#include <QLocale>

#include <filesystem>
#include <system_error>

#include "automation/command_lines.h"
#include "automation/error_log.h"
#include "automation/run_texts.h"
#include "automation/viewer_params.h"
#include "platform/byte_file.h"
#include "platform/dir_search.h"
#include "platform/file_lease.h"
#include "platform/path_style.h"
#include "settings/messages.h"
#include "shell/UnitShell.h"

namespace mervik {

namespace fs = std::filesystem;
using namespace runtext;

namespace {

std::string str(std::string_view s) {
    return std::string(s);
}

std::string num(int n) {
    return std::to_string(n);
}

bool isPlainFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(path), ec);
}

bool pathExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(fs::path(path), ec));
}

void removeFile(const std::string& path) {
    std::error_code ec;
    fs::remove(fs::path(path), ec);
}

// What is known of the output file before and after the join step.
struct FileStamp {
    bool exists = false;
    fs::file_time_type modified{};
    std::uintmax_t size = 0;

    static FileStamp of(const std::string& path) {
        FileStamp s;
        std::error_code ec;
        const fs::path p(path);
        if (!fs::is_regular_file(p, ec))
            return s;
        s.modified = fs::last_write_time(p, ec);
        if (ec)
            return s;
        s.size = fs::file_size(p, ec);
        if (ec)
            return s;
        s.exists = true;
        return s;
    }
    bool operator==(const FileStamp&) const = default;
};

// A name in folder that no file has yet: name, then "base (1).ext", "base (2).ext", ...
std::string freeNameIn(const std::string& folder, const std::string& name) {
    std::string candidate = joinPath(folder, name);
    const std::string base = baseNamePart(name);
    const std::string tail = name.substr(base.size());
    for (int k = 1; pathExists(candidate); ++k)
        candidate = joinPath(folder, base + " (" + num(k) + ")" + tail);
    return candidate;
}

// Rename, or copy and delete when the data folder is on another file system.
bool moveFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::rename(fs::path(from), fs::path(to), ec);
    if (!ec)
        return true;
    if (ec != std::errc::cross_device_link)
        return false;
    std::string data;
    if (!readFileBytes(from, data))
        return false;
    if (!writeFileBytes(to, data)) {
        fs::remove(fs::path(to), ec);
        return false;
    }
    if (!fs::remove(fs::path(from), ec) || ec) {
        fs::remove(fs::path(to), ec);
        return false;
    }
    return true;
}

std::string withSeparator(std::string folder) {
    const char sep = PathStyle::native().separator;
    if (!folder.empty() && folder.back() != sep)
        folder += sep;
    return folder;
}

}  // namespace

std::string currentErrorLogTimestamp() {
    return errorLogTimestamp(QDateTime::currentDateTime(), QLocale::system());
}

MervikCore::MervikCore(TSettings& settings, RunView& view, SiblingRunner& runner,
                       CoreEnvironment env)
    : settings_(settings), view_(view), runner_(runner), env_(std::move(env)) {
    if (!env_.timestamp)
        env_.timestamp = currentErrorLogTimestamp;
}

// ---------------------------------------------------------------- paths

std::string MervikCore::dataFolderBase() const {
    return joinPath(env_.localAppData, str(kMakerFolder));
}

std::string MervikCore::viewerParFile() const {
    return joinPath(joinPath(dataFolderBase(), str(kTolvaneFolder)), str(kTolvanePar));
}

std::string MervikCore::viewerBackup() const {
    return joinPath(joinPath(dataFolderBase(), str(kProgramFolder)), str(kTolvanePar));
}

std::string MervikCore::comparisonParFile() const {
    return joinPath(joinPath(dataFolderBase(), str(kSandrelFolder)), str(kSandrelPar));
}

std::string MervikCore::comparisonBackup() const {
    return joinPath(joinPath(dataFolderBase(), str(kProgramFolder)), str(kSandrelPar));
}

std::string MervikCore::workFolder(int index) const {
    return withSeparator(joinPath(settings_.sDataDir, str(kTempFolder) + num(index)));
}

std::string MervikCore::failedFolder() const {
    return joinPath(settings_.sDataDir, str(kFailedFolder));
}

// ---------------------------------------------------------------- start and end

void MervikCore::FormCreate() {
    FirstPaintDone = false;
    // A back-up still here means the last run did not reach FormDestroy: the
    // siblings' files may hold our switched lines, and a fresh back-up taken
    // from them would lose the user's own settings.
    if (pathExists(viewerBackup())) {
        if (copyFileReplacing(viewerBackup(), viewerParFile()))
            removeFile(viewerBackup());
        else
            ViewerParBackedUp = true;  // keep it as this run's back-up
    }
    if (pathExists(comparisonBackup()) &&
        !copyFileReplacing(comparisonBackup(), comparisonParFile()))
        return;  // keep the leftover as this run's back-up
    copyFileReplacing(comparisonParFile(), comparisonBackup());
}

int MervikCore::loadParFile() {
    if (&settings_ == &Settings)
        return LoadParFile();
    // The parameter file routines work on the global record.
    const TSettings saved = Settings;
    Settings = settings_;
    const int status = LoadParFile();
    settings_ = Settings;
    Settings = saved;
    return status;
}

void MervikCore::FormDestroy() {
    if (&settings_ == &Settings) {
        SaveParFile();
    } else {
        const TSettings saved = Settings;
        Settings = settings_;
        SaveParFile();
        Settings = saved;
    }
    // A back-up that could not be put over a sibling's file stays, so that the
    // next start puts it back; one whose sibling file has gone is of no use.
    auto restore = [](const std::string& backup, const std::string& target) {
        if (copyFileReplacing(backup, target) || !pathExists(target))
            removeFile(backup);
    };
    restore(comparisonBackup(), comparisonParFile());
    if (ViewerParBackedUp)
        restore(viewerBackup(), viewerParFile());
}

bool MervikCore::FormPaint(const std::vector<std::string>& args) {
    if (FirstPaintDone)
        return true;
    FirstPaintDone = true;

    const std::string base = dataFolderBase();
    const std::string folder = joinPath(base, str(kProgramFolder));
    bool isNew = false;
    // Without a local application-data folder there is nowhere to create ours
    // (the path would start at the root); the load then fails and we end.
    if (!env_.localAppData.empty()) {
        // A new account may not have the local application-data folder yet.
        if (!FolderExists(env_.localAppData)) {
            std::error_code ec;
            fs::create_directories(fs::path(env_.localAppData), ec);
        }
        if (FolderExists(base)) {
            if (!FolderExists(folder)) {
                CreateFolder(folder);
                isNew = true;
            }
        } else {
            CreateFolder(base);
            CreateFolder(folder);
            isNew = true;
        }
    }
    if (isNew)
        CopyFolderTree(env_.initFolder, folder);

    setDataFolder(settings_, env_.localAppData);
    int status = loadParFile();
    if (status == 2) {
        CopyFolderTree(env_.initFolder, settings_.sDataDir);
        status = loadParFile();
    }
    ParFileStatus = status;
    if (status != 0) {
        ShowWarning(settings_.sParFile + '\r' + str(message(Msg::cannotOpenParFile)));
        return false;
    }
    view_.showOutputType(settings_.iOutTyp);
    AutoStartRequested = false;
    MinimizeRequested = false;
    applyCommandLine(args);
    if (MinimizeRequested)
        view_.minimizeApplication();
    if (AutoStartRequested)
        ButtonAutoOutputClick();
    return true;
}

void MervikCore::applyCommandLine(const std::vector<std::string>& rawArgs) {
    // An empty argument is no argument, as a pair of quotes alone is not on Windows.
    std::vector<std::string> args;
    for (const std::string& a : rawArgs)
        if (!a.empty())
            args.push_back(a);
    if (args.empty())
        return;
    if (args[0] == "/a" || args[0] == "/A") {
        AutoStartRequested = true;
    } else if (args[0] == "/b" || args[0] == "/B") {
        AutoStartRequested = true;
        MinimizeRequested = true;
    }
    std::size_t last = 1;
    if (args.size() >= 2 && args[1].size() == 3 && args[1][0] == '/' && args[1][1] == 'o') {
        static constexpr std::string_view kLetters = "ptsvh";
        const std::size_t type = kLetters.find(args[1][2]);
        if (type != std::string_view::npos) {
            settings_.iOutTyp = static_cast<std::uint8_t>(type);
            view_.showOutputType(settings_.iOutTyp);
        }
        last = 2;
    }
    if (args.size() > last)
        settings_.sChgAreaDir1 = ResolveShortcut(args[last]);
    if (args.size() > last + 1)
        settings_.sChgAreaDir2 = withSeparator(args[last + 1]);
    if (args.size() > last + 2)
        settings_.sOutDir = withSeparator(args[last + 2]);
}

// ---------------------------------------------------------------- standby cycle

void MervikCore::Set_Button_Enable(bool value) {
    view_.setControlsEnabled(value);
}

void MervikCore::ShowWaitingTime() {
    const std::int32_t c = WaitCountdown;
    const std::int32_t h = c / 3600;
    const std::int32_t r = c % 3600;
    const std::int32_t m = r / 60;
    const std::int32_t s = r % 60;
    view_.setStatus(str(message(Msg::waiting)) + num(h) + str(message(Msg::hour)) + num(m) +
                    str(message(Msg::minute)) + num(s) + str(message(Msg::second)));
}

bool MervikCore::startChecks() {
    auto fail = [](Msg text, const std::string& value) {
        ShowWarning(str(message(text)) + '\r' + value + '\r' + str(message(Msg::registerWithSet)));
        return false;
    };
    if (!isPlainFile(settings_.sSandrelExe))
        return fail(Msg::fileDoesNotExist, settings_.sSandrelExe);
    if (!isPlainFile(settings_.sTolvaneExe))
        return fail(Msg::fileDoesNotExist, settings_.sTolvaneExe);
    std::string copy = settings_.sChgAreaDir1;
    if (!CheckPathFolder(copy))
        return fail(Msg::folderDoesNotExist, settings_.sChgAreaDir1);
    copy = settings_.sChgAreaDir2;
    if (!CheckPathFolder(copy))
        return fail(Msg::folderDoesNotExist, settings_.sChgAreaDir2);
    settings_.sChgAreaDir2 = copy;
    copy = settings_.sOutDir;
    if (!CheckPathFolder(copy))
        return fail(Msg::folderDoesNotExist, settings_.sOutDir);
    settings_.sOutDir = copy;
    switch (GetInputFileType(settings_.sChgAreaDir1, settings_)) {
        case ftHpgl:
        case ftImage:
        case ftPdf:
        case ftSxf:
            return true;
        default:
            return fail(Msg::comparisonTypeRefused, settings_.sChgAreaDir1);
    }
}

void MervikCore::ButtonAutoOutputClick() {
    if (!StandbyActive) {
        if (!startChecks()) {
            Set_Button_Enable(true);
            return;
        }
        StandbyActive = true;
    }
    for (;;) {
        if (!view_.isTimerEnabled()) {
            WaitCountdown = settings_.iWaitTime;
            ShowWaitingTime();
            Set_Button_Enable(false);
            view_.setTimerEnabled(true);
            return;
        }
        if (WaitCountdown > 0) {
            WaitCountdown -= 2;
            ShowWaitingTime();
            return;
        }
        view_.setTimerEnabled(false);
        const std::string name = FindInputFile();
        if (!name.empty())
            RunPass(name);
        view_.processPendingMessages();
    }
}

// ---------------------------------------------------------------- pipeline

bool MervikCore::CanOpenExclusive(const std::string& path) {
    return canOpenExclusive(path);
}

int MervikCore::CountFolderEntries(const std::string& folder) {
    DirSearch search(folder + "*.*");
    if (!search.isOpen())
        return 0;
    int count = 0;
    DirEntry entry;
    while (search.next(entry))
        if (entry.name != "." && entry.name != "..")
            ++count;
    return count;
}

std::string MervikCore::FindInputFile() {
    const std::string folder1 = folderPart(settings_.sChgAreaDir1);
    std::string name;
    {
        DirSearch search(settings_.sChgAreaDir1);
        if (!search.isOpen())
            return {};
        DirEntry entry;
        while (search.next(entry)) {
            if (entry.name == "." || entry.name == "..")
                continue;
            // A quote cannot be carried inside the quoted tokens of a command line.
            if (entry.name.find('"') != std::string::npos) {
                if (quotedNamesReported_.insert(entry.name).second)
                    appendErrorLog(settings_.sDataDir, env_.timestamp(), entry.name,
                                   str(kLogQuoteInName));
                continue;
            }
            if (CanOpenExclusive(folder1 + entry.name)) {
                name = entry.name;
                break;
            }
        }
    }
    if (name.empty())
        return {};
    // Only a partner spelt exactly like the name counts, and a search would match
    // without regard to case (and take "*" or "?" in the name as wildcards): so
    // the partner is opened by its name, without reading folder 2.
    return CanOpenExclusive(settings_.sChgAreaDir2 + name) ? name : std::string();
}

void MervikCore::WriteErrorLog(const std::string& message) {
    appendErrorLog(settings_.sDataDir, env_.timestamp(), currentName, message);
}

void MervikCore::DeleteInputFiles(const std::string& name) {
    removeFile(folderPart(settings_.sChgAreaDir1) + name);
    removeFile(settings_.sChgAreaDir2 + name);
}

void MervikCore::logLine(std::string line) {
    view_.addLogLine(line);
}

bool MervikCore::prepareWorkFolders() {
    // Deleted outright: the trash keeps no size limit here, and pages of every
    // run would pile up in it.
    auto bare = [this](int i) {
        std::string folder = workFolder(i);
        folder.pop_back();
        return folder;
    };
    for (int i = 1; i <= 3; ++i) {
        std::error_code ec;
        fs::remove_all(fs::path(bare(i)), ec);
    }
    for (int i = 1; i <= 3; ++i)
        CreateFolder(bare(i));
    bool ok = true;
    for (int i = 1; i <= 3; ++i) {
        const std::string folder = workFolder(i);
        if (!FolderExists(bare(i)) || CountFolderEntries(folder) != 0) {
            logLine(str(kErrWorkFolder) + folder);
            WriteErrorLog(str(kLogWorkFolder) + folder);
            ok = false;
        }
    }
    return ok;
}

void MervikCore::failRun(const std::string& name) {
    // The pair is kept for the user instead of deleted; folder 1 is still emptied
    // of it so that the next pair is not held up.
    const std::string failed = failedFolder();
    {
        std::error_code ec;
        fs::create_directories(fs::path(failed), ec);
    }
    std::string where;
    for (const std::string& source :
         {folderPart(settings_.sChgAreaDir1) + name, settings_.sChgAreaDir2 + name}) {
        if (!pathExists(source))
            continue;
        if (!where.empty())
            where += kAnd;
        const std::string target = freeNameIn(failed, name);
        if (moveFile(source, target))
            where += target;
        else
            where += source + str(kNotMoved);
    }
    if (!where.empty()) {
        logLine(str(kMovedTo) + where);
        WriteErrorLog(str(kLogMovedTo) + where);
    }
    view_.processPendingMessages();
}

void MervikCore::RunPass(const std::string& name) {
    currentName = name;
    view_.setStatus(str(message(Msg::outputting)));
    if (view_.logLineCount() > 1000)
        view_.clearLog();
    logLine(str(kStartInputFile) + name);
    view_.processPendingMessages();

    if (!prepareWorkFolders()) {
        failRun(name);
        return;
    }

    PassInput in;
    in.tolvaneExe = settings_.sTolvaneExe;
    in.sandrelExe = settings_.sSandrelExe;
    in.folder1 = folderPart(settings_.sChgAreaDir1);
    in.folder2 = settings_.sChgAreaDir2;
    in.outDir = settings_.sOutDir;
    in.temp1 = workFolder(1);
    in.temp2 = workFolder(2);
    in.temp3 = workFolder(3);
    in.name = name;
    in.baseName = GetBaseName(name);
    in.outTyp = settings_.iOutTyp;

    logLine(str(kStep1));
    SwitchViewerParameters(1);
    view_.processPendingMessages();
    ExecCommandLine(splitCommandLine1(in));
    const int d = CountFolderEntries(in.temp1);
    logLine(str(kCountTemp1) + num(d));

    logLine(str(kStep2));
    view_.processPendingMessages();
    ExecCommandLine(splitCommandLine2(in));
    const int e = CountFolderEntries(in.temp2);
    logLine(str(kCountTemp2) + num(e));

    const std::string temp12 = num(d) + str(kTemp2) + num(e);
    if (d != e) {
        logLine(str(kWarnNotSame));
        logLine(str(kWarnTemp1) + temp12);
        WriteErrorLog(str(kLogNotSame) + temp12);
    }
    if (d == 0 || e == 0) {
        logLine(str(kWarnZero));
        logLine(str(kWarnTemp1) + temp12);
        WriteErrorLog(str(kLogZero) + temp12);
        failRun(name);
        return;
    }

    logLine(str(kStep3));
    view_.processPendingMessages();
    ExecCommandLine(compareCommandLine(in));
    const int h = CountFolderEntries(in.temp3);
    logLine(str(kCountTemp3) + num(h));
    if (!(h == d && h != 0)) {
        const std::string temp13 = num(d) + str(kTemp3) + num(h);
        logLine(str(kErrCount));
        logLine(str(kErrTemp1) + temp13);
        WriteErrorLog(str(kLogCountError) + temp13);
        failRun(name);
        return;
    }

    // The run is complete only when step 4 wrote its own output file: other
    // files in the output folder, or an older result of the same name, do not count.
    const std::string output = outputFilePath(in);
    const FileStamp before = FileStamp::of(output);
    logLine(str(kStep4));
    SwitchViewerParameters(2);
    view_.processPendingMessages();
    ExecCommandLine(joinCommandLine(in));
    const int t = CountFolderEntries(settings_.sOutDir);
    logLine(str(kCountOutDir) + num(t));
    const FileStamp after = FileStamp::of(output);
    if (after.exists && !(before == after)) {
        DeleteInputFiles(name);
        logLine(str(kEnd));
        return;
    }
    const std::string temp1Out = num(d) + str(kOutDir) + num(t);
    logLine(str(kErrZero));
    logLine(str(kErrTemp1) + temp1Out);
    WriteErrorLog(str(kLogZeroError) + temp1Out);
    failRun(name);
}

// ---------------------------------------------------------------- siblings

void MervikCore::ExecCommandLine(const std::string& commandLine) {
    runner_.run(commandLine);
}

void MervikCore::SwitchViewerParameters(std::uint8_t mode) {
    if (!ViewerParBackedUp) {
        copyFileReplacing(viewerParFile(), viewerBackup());
        ViewerParBackedUp = true;
    }
    rewriteViewerParFile(viewerBackup(), viewerParFile(), mode);
}

}  // namespace mervik
