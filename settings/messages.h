// The program's own texts, each exactly once. The messages keep the order of
// the program's string table; file and folder names follow.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mervik {

enum class Msg : std::uint8_t {
    version,
    outputting,
    waiting,
    hour,
    minute,
    second,
    cannotCreateParFile,
    cannotOpenParFile,
    fileDoesNotExist,
    folderDoesNotExist,
    sandrelMissing,
    tolvaneMissing,
    comparisonTypeRefused,
    registerWithSet,
    // Our own, after the program's table.
    outputIsComparisonFolder,
    folder2IsFolder1,
    folderInDataFolder,
    folderHasQuote,
};

inline constexpr std::array<std::string_view, 18> kMessages = {
    "Version 11.00",
    "Outputting !",
    "Waiting!  Waiting time=",
    "Hour",
    "Minute",
    "Second",
    "Cannot create parameter file!",
    "Cannot open parameter file!",
    "File does not exist!",
    "Folder does not exist!",
    "Sandrel program file does not exist!",
    "Tolvane program file does not exist!",
    "Type of comparison file 1 is not PDF, TIFF, SXF, or HPGL !",
    "Register comparison with the Set Button",
    "Output folder is the same as a comparison folder!",
    "Comparison folder 2 is the same as the folder of comparison file 1!",
    "Folder lies inside Mervik's data folder, whose work folders are emptied at every run!",
    "Folder name contains a double quote, which a command line cannot carry!",
};

constexpr std::string_view message(Msg m) {
    return kMessages[static_cast<std::size_t>(m)];
}

// Names of the program's own files and folders.
inline constexpr std::string_view kMakerFolder = "Corvanta";
inline constexpr std::string_view kProgramFolder = "Mervik";
inline constexpr std::string_view kParFileName = "Mervik.par";
inline constexpr std::string_view kInstanceName = "hMervikInst";

}  // namespace mervik
