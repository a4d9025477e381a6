#include "automation/mervik_core.h"

#include <QDateTime>
#include <QLocale>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "automation/command_lines.h"
#include "automation/error_log.h"
#include "automation/run_folders.h"
#include "automation/run_texts.h"
#include "automation/viewer_params.h"
#include "platform/byte_file.h"
#include "platform/dir_search.h"
#include "platform/file_lease.h"
#include "platform/file_move.h"
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

// A folder name of at most 255 bytes, cut at a character boundary (UTF-8).
std::string fitFolderName(std::string name) {
    constexpr std::size_t kNameMax = 255;
    if (name.size() <= kNameMax)
        return name;
    std::size_t cut = kNameMax;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    name.resize(cut);
    return name;
}

// The program's last line on standard error. A file name with a line break,
// echoed by the program, must not make its tail the reason: the name is
// escaped in what the program wrote before the lines are told apart.
std::string lastErrorLineOf(const SpawnResult& r, const std::string& name) {
    if (r.errorTail.empty())
        return r.lastErrorLine;
    std::string text = r.errorTail;
    for (const std::string& raw : {name, GetBaseName(name)}) {
        const std::string escaped = escapeControls(raw);
        if (raw.empty() || escaped == raw)
            continue;
        for (std::size_t at = text.find(raw); at != std::string::npos;
             at = text.find(raw, at + escaped.size()))
            text.replace(at, raw.size(), escaped);
    }
    std::string last;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        if (line.find_first_not_of(" \t") != std::string::npos)
            last = line;
        start = end + 1;
    }
    return last.size() > 1000 ? last.substr(0, 1000) : last;
}

std::string withSeparator(std::string folder) {
    const char sep = PathStyle::native().separator;
    if (!folder.empty() && folder.back() != sep)
        folder += sep;
    return folder;
}

}  // namespace

int stepLimitSetting() {
    const char* text = std::getenv("MERVIK_STEP_LIMIT");
    if (text == nullptr || *text == '\0')
        return kDefaultStepLimitSeconds;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0 || value > 1'000'000'000)
        return kDefaultStepLimitSeconds;
    return static_cast<int>(value);
}

std::string currentErrorLogTimestamp() {
    return errorLogTimestamp(QDateTime::currentDateTime(), QLocale::system());
}

MervikCore::MervikCore(TSettings& settings, RunView& view, SiblingRunner& runner,
                       CoreEnvironment env)
    : settings_(settings), view_(view), runner_(runner), env_(std::move(env)) {
    if (!env_.timestamp)
        env_.timestamp = currentErrorLogTimestamp;
    if (env_.stepLimitSeconds < 0)
        env_.stepLimitSeconds = stepLimitSetting();
    runner_.setStepLimit(env_.stepLimitSeconds);
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

std::string MervikCore::dataFolderPath() const {
    return joinPath(dataFolderBase(), str(kProgramFolder));
}

std::string MervikCore::dataFolderLockFile() const {
    return joinPath(dataFolderPath(), str(kDataFolderLock));
}

DataFolderLockResult MervikCore::lockDataFolder() {
    if (env_.localAppData.empty())
        return DataFolderLockResult::unavailable;
    const std::string folder = dataFolderPath();
    if (!FolderExists(folder)) {
        std::error_code ec;
        fs::create_directories(fs::path(folder), ec);
        dataFolderCreated_ = FolderExists(folder);
    }
    switch (dataFolderLock_.acquire(dataFolderLockFile())) {
        case InstanceLockResult::acquired:
            return DataFolderLockResult::acquired;
        case InstanceLockResult::heldByOther:
            return DataFolderLockResult::heldByOther;
        case InstanceLockResult::unavailable:
            break;
    }
    return DataFolderLockResult::unavailable;
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
    if (parLoadFailed_) {
        // Nothing was read: the file keeps what it holds.
    } else if (&settings_ == &Settings) {
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
    // A data folder that lockDataFolder had to create is as new as one made here.
    bool isNew = dataFolderCreated_;
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
    // A data folder that lost only its parameter file starts as a new one
    // would, rather than not at all.
    const std::string initPar = joinPath(env_.initFolder, str(kParFileName));
    if (!isNew && !env_.localAppData.empty() && !pathExists(settings_.sParFile) &&
        isPlainFile(initPar) &&
        CopyOneFile(env_.initFolder, settings_.sDataDir, str(kParFileName)) == 0)
        appendErrorLog(settings_.sDataDir, env_.timestamp(), str(kParFileName),
                       str(kLogParFromInit));
    int status = loadParFile();
    if (status == 2) {
        keepOldParFile();
        CopyFolderTree(env_.initFolder, settings_.sDataDir);
        status = loadParFile();
    }
    ParFileStatus = status;
    parLoadFailed_ = status != 0;
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

void MervikCore::keepOldParFile() {
    // The Init folder's copy is about to replace a file that someone may have
    // written by hand: keep it beside, under a name no earlier copy has.
    const std::string& par = settings_.sParFile;
    if (!isPlainFile(par))
        return;
    std::string kept = par + str(kOldParSuffix);
    for (int k = 1; pathExists(kept); ++k)
        kept = par + str(kOldParSuffix) + "." + num(k);
    std::string content;
    if (!readFileBytes(par, content) || !writeFileBytes(kept, content)) {
        removeFile(kept);
        return;
    }
    appendErrorLog(settings_.sDataDir, env_.timestamp(), str(kParFileName),
                   str(kLogOldParKept) + fileNamePart(kept));
}

std::string MervikCore::makeAbsolute(const std::string& path) const {
    // Saved in the parameter file, a relative path would name another folder
    // at the next start from another working folder.
    if (path.empty() || path.front() == PathStyle::native().separator)
        return path;
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    if (ec)
        return path;
    std::string rest = path;
    while (rest.size() >= 2 && rest[0] == '.' && rest[1] == PathStyle::native().separator)
        rest.erase(0, 2);
    if (rest == ".")
        rest.clear();
    return rest.empty() ? withSeparator(cwd.string()) : joinPath(cwd.string(), rest);
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
        settings_.sChgAreaDir1 = makeAbsolute(ResolveShortcut(makeAbsolute(args[last])));
    if (args.size() > last + 1)
        settings_.sChgAreaDir2 = withSeparator(makeAbsolute(args[last + 1]));
    if (args.size() > last + 2)
        settings_.sOutDir = withSeparator(makeAbsolute(args[last + 2]));
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
    if (!CheckFolderSetting(copy))
        return fail(Msg::folderDoesNotExist, settings_.sChgAreaDir2);
    settings_.sChgAreaDir2 = copy;
    copy = settings_.sOutDir;
    if (!CheckFolderSetting(copy))
        return fail(Msg::folderDoesNotExist, settings_.sOutDir);
    settings_.sOutDir = copy;
    switch (GetInputFileType(settings_.sChgAreaDir1, settings_)) {
        case ftHpgl:
        case ftImage:
        case ftPdf:
        case ftSxf:
            break;
        default:
            return fail(Msg::comparisonTypeRefused, settings_.sChgAreaDir1);
    }
    // Results written into an input folder would replace inputs (an HPGL
    // result has the input's name) and be deleted with them; folder 2 equal
    // to folder 1 compares every file with itself and then deletes it; the
    // work folders of the data folder are emptied at every run.
    if (const auto fault =
            runFolderFault(folderPart(settings_.sChgAreaDir1), settings_.sChgAreaDir2,
                           settings_.sOutDir, settings_.sDataDir))
        return fail(fault->message, fault->folder);
    missingFolders_.clear();
    unsafeReported_ = false;
    return true;
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

void MervikCore::logProblem(const std::string& logText, const std::string& errorText) {
    // Outside a run: the entry names the program, not a file.
    logLine(logText);
    appendErrorLog(settings_.sDataDir, env_.timestamp(), str(kProgramFolder), errorText);
}

bool MervikCore::foldersReady() {
    const std::string folder1 = folderPart(settings_.sChgAreaDir1);
    bool allThere = true;
    for (const std::string& folder : {folder1, settings_.sChgAreaDir2, settings_.sOutDir}) {
        const bool there = FolderExists(folder);
        const bool said = missingFolders_.count(folder) != 0;
        if (!there && !said) {
            missingFolders_.insert(folder);
            logProblem(str(kErrFolderMissing) + folder, str(kLogFolderMissing) + folder);
        } else if (there && said) {
            missingFolders_.erase(folder);
            logProblem(str(kErrFolderBack) + folder, str(kLogFolderBack) + folder);
        }
        allThere = allThere && there;
    }
    if (!allThere)
        return false;
    // A link re-pointed since the start may now lead into an input folder or
    // the data folder: what the paths name now counts.
    const auto fault =
        runFolderFault(folder1, settings_.sChgAreaDir2, settings_.sOutDir, settings_.sDataDir);
    if (fault && !unsafeReported_) {
        unsafeReported_ = true;
        const std::string what = str(message(fault->message)) + " " + fault->folder;
        logProblem(str(kErrPassSkipped) + what, str(kLogPassSkipped) + what);
    } else if (!fault && unsafeReported_) {
        unsafeReported_ = false;
        logProblem(str(kErrFoldersSafe), str(kLogFoldersSafe));
    }
    return !fault;
}

std::string MervikCore::FindInputFile() {
    const std::string folder1 = folderPart(settings_.sChgAreaDir1);
    if (!foldersReady())
        return {};
    DirSearch search(settings_.sChgAreaDir1);
    if (!search.isOpen())
        return {};
    DirEntry entry;
    // Every file of folder 1 is tried in directory order, so that one that is
    // not ready (partner missing, still open, still growing, a folder) does
    // not hold up the ready pairs behind it.
    while (search.next(entry)) {
        if (entry.name == "." || entry.name == ".." || entry.isFolder)
            continue;
        // A quote cannot be carried inside the quoted tokens of a command line.
        if (entry.name.find('"') != std::string::npos) {
            if (quotedNamesReported_.insert(entry.name).second)
                appendErrorLog(settings_.sDataDir, env_.timestamp(), entry.name,
                               str(kLogQuoteInName));
            continue;
        }
        // Only a partner spelt exactly like the name counts, and a search would
        // match without regard to case (and take "*" or "?" in the name as
        // wildcards): so the partner is opened by its name, without reading folder 2.
        const std::string path1 = folder1 + entry.name;
        const std::string path2 = settings_.sChgAreaDir2 + entry.name;
        if (!CanOpenExclusive(path1) || !CanOpenExclusive(path2))
            continue;
        if (keptPairUnchanged(entry.name, path1, path2))
            continue;
        if (!settled(path1, path2))
            continue;
        return entry.name;
    }
    return {};
}

// Limits: the settle time sees only what the file system reports. On network
// file systems, where no lease can tell an open writer, it is the only guard,
// and a writer that pauses longer than the settle time, or whose changes
// reach this machine late, is taken too early (docs/unattended.md).
bool MervikCore::settled(const std::string& path1, const std::string& path2) {
    const std::int64_t settleNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(env_.settleTime).count();
    const std::optional<FileStamp> a1 = fileStamp(path1);
    const std::optional<FileStamp> a2 = fileStamp(path2);
    if (!a1 || !a2)
        return false;
    if (settleNs <= 0)
        return true;
    // A file last changed longer ago than the settle time needs no second look.
    const std::int64_t age = fileClockNowNs() - std::max(a1->modifiedNs, a2->modifiedNs);
    if (age >= settleNs)
        return true;
    // Otherwise look again once the settle time has passed since the last
    // change (a time stamp in the future, from another machine's clock, waits
    // the whole settle time).
    std::this_thread::sleep_for(
        std::chrono::nanoseconds(settleNs - std::max<std::int64_t>(age, 0)));
    const std::optional<FileStamp> b1 = fileStamp(path1);
    const std::optional<FileStamp> b2 = fileStamp(path2);
    return b1 && b2 && *a1 == *b1 && *a2 == *b2 && CanOpenExclusive(path1) &&
           CanOpenExclusive(path2);
}

bool MervikCore::keptPairUnchanged(const std::string& name, const std::string& path1,
                                   const std::string& path2) {
    const auto it = keptPairs_.find(name);
    if (it == keptPairs_.end())
        return false;
    const std::optional<FileStamp> s1 = fileStamp(path1);
    const std::optional<FileStamp> s2 = fileStamp(path2);
    if (s1 && s2 && *s1 == it->second.first && *s2 == it->second.second)
        return true;
    // Replaced or changed since: a new pair of the same name.
    keptPairs_.erase(it);
    return false;
}

void MervikCore::rememberKeptPair(const std::string& name) {
    const std::optional<FileStamp> s1 = fileStamp(folderPart(settings_.sChgAreaDir1) + name);
    const std::optional<FileStamp> s2 = fileStamp(settings_.sChgAreaDir2 + name);
    if (s1 && s2)
        keptPairs_[name] = KeptPair{*s1, *s2};
}

void MervikCore::WriteErrorLog(const std::string& message) {
    appendErrorLog(settings_.sDataDir, env_.timestamp(), currentName, message);
}

void MervikCore::DeleteInputFiles(const std::string& name) {
    for (const std::string& path :
         {folderPart(settings_.sChgAreaDir1) + name, settings_.sChgAreaDir2 + name}) {
        // Never the result this run has just written, however the folders are spelt.
        if (!writtenOutput_.empty() && sameFileObject(path, writtenOutput_))
            continue;
        removeFile(path);
    }
}

void MervikCore::logLine(std::string line) {
    line = escapeControls(line);
    runLines_.push_back(line);
    view_.addLogLine(line);
}

void MervikCore::reportStep(const std::string& programPath, int highestNormalStatus) {
    const SpawnResult& r = lastStep_;
    const std::string program = fileNamePart(programPath);
    std::string reason;
    if (r.timedOut) {
        reason = program + str(kTimedOutAfter) + num(runner_.stepLimit()) + str(kSeconds);
    } else if (r.stopped) {
        reason = program + str(kEndedAsWeEnd);
    } else if (!r.started) {
        reason = program + str(kCouldNotStart) + std::strerror(r.startError);
    } else if (r.signal != 0) {
        reason = program + str(kEndedBySignal) + num(r.signal);
    } else if (r.exited && (r.exitStatus < 0 || r.exitStatus > highestNormalStatus)) {
        reason = program + str(kExitedWithStatus) + num(r.exitStatus);
        const std::string last = lastErrorLineOf(r, currentName);
        if (!last.empty())
            reason += str(kColon) + last;
    }
    if (reason.empty())
        return;
    logLine(str(kErrStep) + reason);
    WriteErrorLog(reason);
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
    // The pair is kept for the user instead of deleted, in a folder of its own
    // per run, the files under the numbers of their folders and the run's log
    // beside them; folder 1 is still emptied of it so that the next pair is not
    // held up.
    ++tally.failed;
    removeJoinLeftovers();
    const std::string stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")).toStdString();
    std::string runFolder = joinPath(failedFolder(), fitFolderName(stamp + " " + name));
    for (int k = 2; pathExists(runFolder); ++k)
        runFolder = joinPath(failedFolder(), fitFolderName(stamp + " (" + num(k) + ") " + name));
    std::error_code ec;
    const bool haveFolder = fs::create_directories(fs::path(runFolder) / str(kFailedFolder1), ec) &&
                            fs::create_directories(fs::path(runFolder) / str(kFailedFolder2), ec);
    std::string where;
    bool movedAny = false;
    const std::string sources[] = {folderPart(settings_.sChgAreaDir1) + name,
                                   settings_.sChgAreaDir2 + name};
    const std::string_view roles[] = {kFailedFolder1, kFailedFolder2};
    for (int i = 0; i < 2; ++i) {
        const std::string& source = sources[i];
        if (!pathExists(source) ||
            (!writtenOutput_.empty() && sameFileObject(source, writtenOutput_)))
            continue;
        if (!where.empty())
            where += kAnd;
        const std::string target = joinPath(joinPath(runFolder, str(roles[i])), name);
        if (haveFolder && moveFileTo(source, target)) {
            where += target;
            movedAny = true;
        } else {
            where += source + str(kNotMoved);
        }
    }
    if (!where.empty()) {
        logLine(str(kMovedTo) + where);
        WriteErrorLog(str(kLogMovedTo) + where);
    }
    if (movedAny) {
        std::string text;
        for (const std::string& line : runLines_)
            text += line + "\r\n";
        writeFileBytes(joinPath(runFolder, str(kRunTxt)), text);
        tally.keptIn.push_back(runFolder);
    } else if (haveFolder) {
        fs::remove_all(fs::path(runFolder), ec);
    }
    rememberKeptPair(name);
    view_.processPendingMessages();
}

bool MervikCore::stepCutShort(const std::string& name) {
    if (lastStep_.stopped) {
        // The pair stays in its folders and runs again at the next start.
        removeJoinLeftovers();
        return true;
    }
    if (lastStep_.timedOut) {
        failRun(name);
        return true;
    }
    return false;
}

void MervikCore::removeJoinLeftovers() {
    if (!joinRan_)
        return;
    joinRan_ = false;
    // Only what appeared during the join: other programs' files stay.
    DirSearch search(settings_.sOutDir + "*.*");
    DirEntry entry;
    while (search.isOpen() && search.next(entry)) {
        const std::string& n = entry.name;
        if (!entry.isFolder && n.size() > 6 && n.front() == '.' &&
            n.compare(n.size() - 5, 5, ".part") == 0 && partsBeforeJoin_.count(n) == 0)
            removeFile(settings_.sOutDir + n);
    }
}

void MervikCore::RunPass(const std::string& name) {
    currentName = name;
    runLines_.clear();
    writtenOutput_.clear();
    joinRan_ = false;
    lastRunComplete = false;
    ++tally.run;
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
    // The siblings see the pair only as page files in work folders; the
    // comparison program names the drawings themselves on its result.
    runner_.setEnvironment(
        {"MERVIK_DRAWING1=" + in.folder1 + name, "MERVIK_DRAWING2=" + in.folder2 + name,
         "MERVIK_COMPARISON_REPORT=" + joinPath(settings_.sDataDir, kComparisonReportName),
         siblingTunables(std::getenv("GLIBC_TUNABLES"))});
    struct ClearEnvironment {
        SiblingRunner& runner;
        ~ClearEnvironment() {
            runner.dropAhead();
            runner.setEnvironment({});
        }
    } clearEnvironment{runner_};

    logLine(str(kStep1));
    SwitchViewerParameters(1);
    view_.processPendingMessages();
    // The two splits need nothing of each other: the second runs beside the
    // first, and step 2 waits for it. Its pages are counted, its errors
    // passed on and its end reported in step 2, as if it started there.
    runner_.startAhead(splitCommandLine2(in));
    ExecCommandLine(splitCommandLine1(in));
    const int d = CountFolderEntries(in.temp1);
    logLine(str(kCountTemp1) + num(d));
    reportStep(in.tolvaneExe);
    if (stepCutShort(name))
        return;

    logLine(str(kStep2));
    view_.processPendingMessages();
    ExecCommandLine(splitCommandLine2(in));
    const int e = CountFolderEntries(in.temp2);
    logLine(str(kCountTemp2) + num(e));
    reportStep(in.tolvaneExe);
    if (stepCutShort(name))
        return;

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
    // Like diff, the comparison program ends with status 1 when drawings differ.
    reportStep(in.sandrelExe, 1);
    if (stepCutShort(name))
        return;
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
    const std::optional<FileStamp> before = fileStamp(output);
    logLine(str(kStep4));
    SwitchViewerParameters(2);
    view_.processPendingMessages();
    partsBeforeJoin_.clear();
    {
        DirSearch parts(settings_.sOutDir + "*.*");
        DirEntry entry;
        while (parts.isOpen() && parts.next(entry))
            partsBeforeJoin_.insert(entry.name);
    }
    joinRan_ = true;
    ExecCommandLine(joinCommandLine(in));
    const int t = CountFolderEntries(settings_.sOutDir);
    logLine(str(kCountOutDir) + num(t));
    reportStep(in.tolvaneExe);
    if (stepCutShort(name))
        return;
    const std::optional<FileStamp> after = fileStamp(output);
    if (after && isPlainFile(output) && !(before == after)) {
        writtenOutput_ = output;
        DeleteInputFiles(name);
        logLine(str(kEnd));
        ++tally.complete;
        lastRunComplete = true;
        // Inputs that cannot be deleted (a read-only folder) are said once; the
        // pair is not run again while its files stay as they are.
        bool kept = false;
        for (const std::string& path : {in.folder1 + name, in.folder2 + name}) {
            if (!pathExists(path) || sameFileObject(path, output))
                continue;
            logLine(str(kErrNotDeleted) + path);
            WriteErrorLog(str(kLogNotDeleted) + path);
            kept = true;
        }
        if (kept)
            rememberKeptPair(name);
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
    // Once the program is ending, no further step is started.
    if (runner_.cancelled()) {
        lastStep_ = SpawnResult{};
        lastStep_.stopped = true;
        return;
    }
    lastStep_ = runner_.runStep(commandLine);
}

void MervikCore::SwitchViewerParameters(std::uint8_t mode) {
    if (!ViewerParBackedUp) {
        copyFileReplacing(viewerParFile(), viewerBackup());
        ViewerParBackedUp = true;
    }
    rewriteViewerParFile(viewerBackup(), viewerParFile(), mode);
}

}  // namespace mervik
