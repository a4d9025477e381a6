#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "automation/run_view.h"
#include "automation/sibling_runner.h"
#include "platform/file_identity.h"
#include "platform/instance_lock.h"
#include "platform/process_spawn.h"
#include "settings/Tolvane1.h"

namespace mervik {

// Where the core finds what lies outside the settings record.
struct CoreEnvironment {
    // The local application-data folder (D); the siblings' parameter files and
    // our data folder live under it.
    std::string localAppData;
    // The Init folder beside the executable.
    std::string initFolder;
    // The error log's date and time text for "now".
    std::function<std::string()> timestamp;
    // How long a file's size and modification time must stay the same before
    // it is taken: a writer that closes the file between pieces (a copy over
    // the network, a program that appends) is not caught by the lease alone.
    std::chrono::milliseconds settleTime{1000};
    // Seconds a sibling may work on one step before it is ended and the pair
    // fails; 0 for no limit, negative for the setting (stepLimitSetting).
    int stepLimitSeconds = -1;
};

// A step's time limit unless MERVIK_STEP_LIMIT says otherwise: far above what
// a step of a real drawing file takes, and an end for one that never ends.
inline constexpr int kDefaultStepLimitSeconds = 1800;

// MERVIK_STEP_LIMIT in seconds (0: no limit) when it holds a whole number,
// else the default.
int stepLimitSetting();

// What the runs of this process came to, for a summary at the end.
// The comparison program's summary of the current pass, in the data
// folder (not in a work folder, whose entries are counted).
inline constexpr const char* kComparisonReportName = "Comparison.json";

struct RunTally {
    int run = 0;
    int complete = 0;
    int failed = 0;
    // The folders under Failed that keep the pairs of failed runs.
    std::vector<std::string> keptIn;
};

// How taking the data folder's lock went.
enum class DataFolderLockResult : std::uint8_t {
    acquired,
    heldByOther,  // another instance works on this data folder: end silently
    unavailable,  // no lock could be made: start normally
};

// The error log's timestamp of the current local time in the user's formats.
std::string currentErrorLogTimestamp();

// The window-free half of the main window: start-up, the standby cycle, the
// pipeline and the handover of the siblings' parameter files. The main window
// and the console front end each own one and forward their events to it.
class MervikCore {
  public:
    MervikCore(TSettings& settings, RunView& view, SiblingRunner& runner, CoreEnvironment env);

    // --- start and end
    // Locks the data folder for the whole life of this object, creating the
    // folder when it is missing (the first paint then fills it from the Init
    // folder as a new one). Called before FormCreate: two instances must never
    // share the work folders, whatever session or machine they run in.
    DataFolderLockResult lockDataFolder();
    // Puts back leftovers of a run that did not end normally, then takes the
    // comparison program's back-up.
    void FormCreate();
    // Saves the settings, then restores the siblings' parameter files.
    void FormDestroy();
    // The first-paint initialisation with the program's arguments (without the
    // program name). False when the parameter file could not be loaded: the
    // program is to end (through FormDestroy).
    bool FormPaint(const std::vector<std::string>& args);
    // The command-line part of the first paint (steps 10 to 15).
    void applyCommandLine(const std::vector<std::string>& args);

    // --- standby cycle
    void ButtonAutoOutputClick();
    void Set_Button_Enable(bool value);
    void ShowWaitingTime();
    // The three-line warning of the first failing start check; true when all pass.
    bool startChecks();

    // --- pipeline
    std::string FindInputFile();
    void RunPass(const std::string& name);
    int CountFolderEntries(const std::string& folder);
    bool CanOpenExclusive(const std::string& path);
    void WriteErrorLog(const std::string& message);
    void DeleteInputFiles(const std::string& name);

    // --- sibling runner and parameter-file handover
    void ExecCommandLine(const std::string& commandLine);
    void SwitchViewerParameters(std::uint8_t mode);

    // Paths of the parameter files and their back-ups.
    std::string viewerParFile() const;
    std::string viewerBackup() const;
    std::string comparisonParFile() const;
    std::string comparisonBackup() const;
    std::string workFolder(int index) const;  // 1..3, with the trailing separator
    std::string failedFolder() const;
    // The file that holds the data folder's lock.
    std::string dataFolderLockFile() const;

    bool StandbyActive = false;
    std::int32_t WaitCountdown = 0;
    bool ViewerParBackedUp = false;
    bool FirstPaintDone = false;
    bool AutoStartRequested = false;
    bool MinimizeRequested = false;
    // The name of the current run (N), also written into error-log entries.
    std::string currentName;
    RunTally tally;
    // True when the last RunPass ended with "* End".
    bool lastRunComplete = false;
    // The output file the last complete RunPass wrote.
    const std::string& writtenOutput() const { return writtenOutput_; }

  private:
    // A pair whose files could not be removed after its run, as they were then.
    struct KeptPair {
        FileStamp first;
        FileStamp second;
    };

    bool prepareWorkFolders();
    // After a step's lines and reason: true when the step was cut short and
    // the run is over (failed at its time limit, or given up as we end).
    bool stepCutShort(const std::string& name);
    // Files a join left behind under a temporary name when it was ended.
    void removeJoinLeftovers();
    // The run's folders as they are now: said once when they are missing or
    // unsafe, and again when they are back. False when no pass may run.
    bool foldersReady();
    // A line in the run log and an entry in the error log, outside a run.
    void logProblem(const std::string& logText, const std::string& errorText);
    void failRun(const std::string& name);
    void logLine(std::string line);
    // After the specified lines of a step: why its program failed, if it did.
    // Statuses up to highestNormalStatus are no failure.
    void reportStep(const std::string& program, int highestNormalStatus = 0);
    // Whether both files have kept size and time over the settle time.
    bool settled(const std::string& path1, const std::string& path2);
    bool keptPairUnchanged(const std::string& name, const std::string& path1,
                           const std::string& path2);
    void rememberKeptPair(const std::string& name);
    void keepOldParFile();
    std::string makeAbsolute(const std::string& path) const;
    int loadParFile();
    std::string dataFolderBase() const;
    std::string dataFolderPath() const;

    TSettings& settings_;
    RunView& view_;
    SiblingRunner& runner_;
    CoreEnvironment env_;
    // Names with a double quote already reported in the error log.
    std::set<std::string> quotedNamesReported_;
    std::map<std::string, KeptPair> keptPairs_;
    InstanceLock dataFolderLock_;
    bool dataFolderCreated_ = false;
    // A parameter file that could not be read is not saved at the end: values
    // that were never loaded must not replace it.
    bool parLoadFailed_ = false;
    // Folders of the run said to be missing, and whether the folders were
    // said to be unsafe; each is said again when it is over.
    std::set<std::string> missingFolders_;
    bool unsafeReported_ = false;
    // The output folder's temporary files from before the join step ran.
    bool joinRan_ = false;
    std::set<std::string> partsBeforeJoin_;
    // The lines of the current run, for the text file kept with a failed pair.
    std::vector<std::string> runLines_;
    SpawnResult lastStep_;
    // The output file that the current run's join step has written.
    std::string writtenOutput_;
};

}  // namespace mervik
