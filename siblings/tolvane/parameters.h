// Tolvane's parameter file, <local app-data>/Corvanta/Tolvane/Tolvane.par:
// text lines ended by CR LF (LF alone is read too), read once at start.
//
//   1  "Tolvane 1.00"          identifies the file
//   2  300                     resolution of TIFF output, dpi (50 to 1200)
//   3  LZW                     compression of colour TIFF pages: LZW or Deflate
//                              (black-and-white pages are always CCITT G4)
//   4  hgl;hpgl;hpg;plt;hp;gl  extensions read as HP-GL input, ";" between,
//                              compared without regard to case
//   5-7 0                      reserved, kept as they are
//   8  0                       sheet: 0 as the plot gives it (its media, else its
//                              content), 1 the smallest ISO A sheet (A4 to A0)
//                              that holds it, content centred
//   9  (empty)                 mode: 1 split a file into one-page HP-GL files,
//                              0 join page files into one file; anything else
//                              (and a missing file) goes by the arguments: a
//                              source with a wildcard is joined, a plain file split
//  10  0                       colour: 0 as plotted, 1 black only
//
// "0" is the neutral value of lines 8 and 10, and the one a join step gets
// on all three. Line 9 is created empty: a file written by the first run on a
// fresh machine must not turn the split steps that follow into joins. A
// missing file is created with these defaults; a missing or unreadable
// line takes its default, and the file is then left as it is.
#pragma once

#include <string>

namespace tolvane {

// What a three-argument call does.
enum class Mode { ByArguments, Split, Join };

struct Parameters {
    double dpi = 300;
    bool deflate = false;
    std::string hpglExtensions = "hgl;hpgl;hpg;plt;hp;gl";
    bool fitSheet = false;
    Mode mode = Mode::ByArguments;
    bool blackOnly = false;
};

// The mode a three-argument call acts in: line 9 when it says, else a
// source with a wildcard ("*" or "?") is a join and a plain file a split.
Mode effectiveMode(const Parameters& params, const std::string& source);

// Where the file lives; empty when there is no local app-data folder.
std::string parameterFilePath();

// The lines of a parameter file with default values.
std::string defaultParameterText();

Parameters parseParameters(const std::string& text);

// Reads the file, creating it (and its folders) with defaults when missing.
// A file that cannot be created gives the defaults and a warning in warning.
Parameters loadParameters(std::string& warning);

// Whether ext (without the dot) is in the ";"-separated list, ASCII case ignored.
bool extensionInList(const std::string& ext, const std::string& list);

}  // namespace tolvane
