// What every reader promises, checked on whatever the fuzzer makes of it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "drawing/hpgl/hpgl.h"
#include "drawing/page.h"

namespace fuzzcheck {

inline void checkPage(const drawing::Page& page) {
    for (const auto& r : page.rasters) {
        if (r.width <= 0 || r.height <= 0 ||
            r.pixels.size() != static_cast<std::size_t>(r.width) *
                                   static_cast<std::size_t>(r.height) *
                                   static_cast<std::size_t>(r.channels)) {
            __builtin_trap();
        }
    }
    for (const auto& p : page.paths) {
        for (std::size_t s : p.subpathStarts) {
            if (s >= p.points.size()) {
                __builtin_trap();
            }
        }
    }
}

// A failure says why, and where inside the input.
inline void checkOutcome(bool ok, const drawing::ReadError& error, std::size_t size) {
    if (!ok && (error.message.empty() || error.offset > size)) {
        __builtin_trap();
    }
}

// Runs a reader of bytes (data, size, sink, error) on the input and checks
// the pages (at most 20) and the outcome.
template <typename Reader>
void readAndCheck(Reader read, const std::uint8_t* data, std::size_t size) {
    drawing::ReadError error;
    int pages = 0;
    const bool ok = read(
        data, size,
        [&](drawing::Page&& page) {
            checkPage(page);
            return ++pages < 20;
        },
        error);
    checkOutcome(ok, error, size);
}

}  // namespace fuzzcheck
