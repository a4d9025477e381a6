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

inline constexpr std::string_view kFailedFolder = "Failed";
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
