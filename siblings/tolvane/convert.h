// The converter's jobs: split a plot into one-page HP-GL files, join page
// files into one file, convert one file. Each returns true on success or
// fills error with one line that names the file at fault.
#pragma once

#include <string>
#include <vector>

#include "drawing/page.h"
#include "tolvane/parameters.h"

namespace tolvane {

enum class OutputKind { Hpgl, Pdf, Tiff, Sxf };

// "/h", "/p", "/t", "/y" (either case); false for anything else.
bool outputKindFromSwitch(const std::string& s, OutputKind& kind);

// Page file names: the output's folder and base name, "_", the page number
// in six digits from 000001, ".hgl", so that sorting by name is page order
// up to 999999 pages (a larger plot is refused rather than misordered).
inline constexpr int kPageNumberDigits = 6;
inline constexpr int kMaxSplitPages = 999999;
std::string pageFileName(const std::string& outPath, int pageNumber);

// The most pages a plot file can hold by its bytes alone: every page ends
// at a PG (two letters side by side, in either case), at an escape (a
// reset or a job boundary), at a form feed or at the end of the input. Of
// a plot that cannot hold too many, the pages need not be counted before
// the split; -1 when the file cannot be read.
long long pageEndsAtMost(const std::string& path);

// Applies the sheet (line 8) and colour (line 10) options to a page.
void applyPageOptions(drawing::Page& page, const Parameters& params);

bool splitFile(const std::string& input, const std::string& outPath, const Parameters& params,
               std::string& error);
bool joinFiles(OutputKind kind, const std::string& pattern, const std::string& outPath,
               const Parameters& params, std::string& error);
bool convertFile(OutputKind kind, const std::string& input, const std::string& outPath,
                 const Parameters& params, std::string& error);

}  // namespace tolvane
