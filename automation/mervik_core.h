#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "automation/run_view.h"
#include "automation/sibling_runner.h"
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

    bool StandbyActive = false;
    std::int32_t WaitCountdown = 0;
    bool ViewerParBackedUp = false;
    bool FirstPaintDone = false;
    bool AutoStartRequested = false;
    bool MinimizeRequested = false;
    // The name of the current run (N), also written into error-log entries.
    std::string currentName;

  private:
    bool prepareWorkFolders();
    void failRun(const std::string& name);
    void logLine(std::string line);
    int loadParFile();
    std::string dataFolderBase() const;

    TSettings& settings_;
    RunView& view_;
    SiblingRunner& runner_;
    CoreEnvironment env_;
    // Names with a double quote already reported in the error log.
    std::set<std::string> quotedNamesReported_;
};

}  // namespace mervik
