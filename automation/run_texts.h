#pragma once

#include <string_view>

// The fixed texts of a run: log lines and error-log messages, byte for byte.
// The backslashes in the step lines are part of the texts, not paths.
namespace mervik::runtext {

inline constexpr std::string_view kStartInputFile = "* Start Input file : ";
inline constexpr std::string_view kStep1 =
    "1.Tolvane  Dir1\\MultiPage1File ==> Temp1\\1PageMultiFiles";
inline constexpr std::string_view kCountTemp1 = "  Number of files in Temp1=";
inline constexpr std::string_view kStep2 =
    "2.Tolvane  Dir2\\MultiPage1File ==> Temp2\\1PageMultiFiles";
inline constexpr std::string_view kCountTemp2 = "  Number of files in Temp2=";
inline constexpr std::string_view kWarnNotSame =
    "  *** Warninng ! Compared file count is not the same !";
inline constexpr std::string_view kWarnZero = "  *** Warninng ! Compared file count=0 !";
inline constexpr std::string_view kWarnTemp1 = "      Temp1=";
inline constexpr std::string_view kStep3 =
    "3.Sandrel compares Temp1 and Temp2, and outputs to Temp3";
inline constexpr std::string_view kCountTemp3 = "  Number of files in Temp3= ";
inline constexpr std::string_view kErrCount = "  *** Error ! Compared file count error !";
inline constexpr std::string_view kErrTemp1 = "  Temp1=";
inline constexpr std::string_view kStep4 =
    "4.Tolvane  Temp3\\1PageMultiFiles ==> OutDir\\MultiPage1File ";
inline constexpr std::string_view kCountOutDir = "  Number of files in OutDir= ";
inline constexpr std::string_view kEnd = "* End";
inline constexpr std::string_view kErrZero = "  *** Error ! Compared file count=0 error !";
inline constexpr std::string_view kTemp2 = " Temp2=";
inline constexpr std::string_view kTemp3 = " Temp3=";
inline constexpr std::string_view kOutDir = " OutDir=";

inline constexpr std::string_view kLogNotSame = "Compared file count is not the same ! Temp1=";
inline constexpr std::string_view kLogZero = "Compared file count=0 ! Temp1=";
inline constexpr std::string_view kLogCountError = "Compared file count error ! Temp1=";
inline constexpr std::string_view kLogZeroError = "Compared file count=0 error ! Temp1=";

// Our own additions for failed runs and names the command lines cannot carry.
inline constexpr std::string_view kErrWorkFolder = "  *** Error ! Work folder cannot be emptied : ";
inline constexpr std::string_view kLogWorkFolder = "Work folder cannot be emptied ! ";
inline constexpr std::string_view kMovedTo = "  Input files moved to ";
inline constexpr std::string_view kLogMovedTo = "Input files moved to ";
inline constexpr std::string_view kAnd = " and ";
inline constexpr std::string_view kNotMoved = " (could not be moved)";
inline constexpr std::string_view kLogQuoteInName =
    "File name contains a double quote and is passed over !";

// Why a step's program failed, after the step's own lines: "tolvane could not
// be started: Permission denied", "sandrel ended by signal 11", "tolvane
// exited with status 2: <its last line on standard error>".
inline constexpr std::string_view kErrStep = "  *** ";
inline constexpr std::string_view kCouldNotStart = " could not be started: ";
inline constexpr std::string_view kEndedBySignal = " ended by signal ";
inline constexpr std::string_view kExitedWithStatus = " exited with status ";
inline constexpr std::string_view kColon = ": ";
// A complete run whose inputs stay where they are (a read-only folder).
inline constexpr std::string_view kErrNotDeleted = "  *** Input file cannot be deleted : ";
inline constexpr std::string_view kLogNotDeleted = "Input file cannot be deleted ! ";
// A step that was cut short, after "  *** " and the program's name.
inline constexpr std::string_view kTimedOutAfter = " timed out after ";
inline constexpr std::string_view kSeconds = " s";
inline constexpr std::string_view kEndedAsWeEnd =
    " was ended, as Mervik is ending; the input files stay where they are";
// The folders of the run as they are before a pass.
inline constexpr std::string_view kErrFolderMissing = "  *** Folder not found : ";
inline constexpr std::string_view kLogFolderMissing = "Folder not found ! ";
inline constexpr std::string_view kErrFolderBack = "  Folder found again : ";
inline constexpr std::string_view kLogFolderBack = "Folder found again : ";
inline constexpr std::string_view kErrPassSkipped = "  *** Pass skipped, the folders are unsafe : ";
inline constexpr std::string_view kLogPassSkipped = "Pass skipped, the folders are unsafe ! ";
inline constexpr std::string_view kErrFoldersSafe = "  Folders safe again, passes go on";
inline constexpr std::string_view kLogFoldersSafe = "Folders safe again, passes go on";
// Start-up: a parameter file missing from an existing data folder.
inline constexpr std::string_view kLogParFromInit =
    "Parameter file was missing and is taken from the Init folder";
// Start-up: a parameter file of another version kept before the Init copy.
inline constexpr std::string_view kLogOldParKept = "Parameter file of another version kept as ";

inline constexpr std::string_view kFailedFolder = "Failed";
// In a failed run's folder: the files of folders 1 and 2, and the run's log.
inline constexpr std::string_view kFailedFolder1 = "1";
inline constexpr std::string_view kFailedFolder2 = "2";
inline constexpr std::string_view kRunTxt = "run.txt";
inline constexpr std::string_view kDataFolderLock = "Mervik.lock";
inline constexpr std::string_view kOldParSuffix = ".old";
inline constexpr std::string_view kErrorTxt = "Error.txt";
inline constexpr std::string_view kError2Txt = "Error2.txt";

}  // namespace mervik::runtext

namespace mervik::runtext {

// The siblings' folders and parameter files under the local application-data folder.
inline constexpr std::string_view kTolvaneFolder = "Tolvane";
inline constexpr std::string_view kSandrelFolder = "Sandrel";
inline constexpr std::string_view kTolvanePar = "Tolvane.par";
inline constexpr std::string_view kSandrelPar = "Sandrel.par";
inline constexpr std::string_view kInitFolder = "Init";
inline constexpr std::string_view kTempFolder = "Temp";

}  // namespace mervik::runtext
