// PNG output of a rendered image.
#pragma once

#include <iosfwd>
#include <string>

#include "drawing/render/render.h"

namespace drawing {

// Writes an 8-bit grey or RGB PNG with the image's resolution.
bool writePng(std::ostream& out, const Image& image, std::string& error);

}  // namespace drawing
