// What every reader of a drawing format has in common: pages handed on one
// at a time, and an error of one line. A format's reader has the shape of
// Reader; the converter keeps one table of them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "drawing/page.h"

namespace drawing {

struct ReadError {
    std::string message;     // one line, no file name
    std::size_t offset = 0;  // byte offset in the input where reading failed
};

// Receives each page as soon as it is complete, so that a file of any
// number of pages is read with the memory of one page. Returning false
// stops the reading (the reader then returns true).
using PageSink = std::function<bool(Page&& page)>;

// Reads the file at path and hands its pages, in order, to sink; false with
// error filled in when the file cannot be read as the format.
using FileReader = bool (*)(const std::string& path, const PageSink& sink, ReadError& error);

}  // namespace drawing
