// SXF output: .sfc when the output path ends in ".sfc" (any case), else .p21.
#pragma once

#include <functional>
#include <string>

#include "drawing/hpgl/hpgl.h"
#include "tolvane/parameters.h"

namespace tolvane {

using PageSource = std::function<bool(const drawing::PageSink& sink, std::string& error)>;

bool writeSxfOutput(const std::string& path, const PageSource& source, const Parameters& params,
                    std::string& error);

}  // namespace tolvane
