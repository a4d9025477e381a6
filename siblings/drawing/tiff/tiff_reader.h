// TIFF input: each directory of a TIFF becomes one page holding the image
// as a raster at its own resolution and size.
#pragma once

#include <cstddef>
#include <string>

#include "drawing/page.h"
#include "drawing/reader.h"

namespace drawing {

// Pixels of one page at most (8-bit grey counts one byte a pixel, colour
// three): an A0 sheet scanned at 400 dpi in grey fits, a 100,000 x 100,000
// page is refused before anything is allocated.
inline constexpr std::size_t kTiffMaxPageBytes = std::size_t(256) << 20;
// Resolution taken when a directory gives none.
inline constexpr double kTiffDefaultDpi = 200;

// Reads every directory as a page: bi-level and grey images become grey
// rasters, palette, RGB, CMYK and YCbCr images RGB ones; whatever
// compression libtiff decodes (CCITT G3/G4, LZW, PackBits, Deflate, JPEG,
// ...) is read. A page whose horizontal and vertical resolutions differ (a
// fax) is resampled to the horizontal one. The media is the image's size.
//
// Errors (error.offset is 0): not a TIFF, a compression or photometric
// interpretation that cannot be decoded, a page over kTiffMaxPageBytes,
// data that ends early or does not decode, a file without directories.
bool readTiffFile(const std::string& path, const PageSink& sink, ReadError& error);
bool readTiffBytes(const void* data, std::size_t size, const PageSink& sink, ReadError& error);

}  // namespace drawing
