// Feeds arbitrary bytes to the reader; whatever it accepts must also come
// back through the writer and the reader unchanged in page count.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "drawing/fuzz/fuzz_checks.h"
#include "drawing/hpgl/hpgl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream out;
    drawing::HpglWriter writer(out);
    std::size_t pages = 0;
    drawing::ReadError error;
    const bool ok = drawing::readHpgl(
        in,
        [&](drawing::Page&& page) {
            // Large images are read, but not taken round, to keep runs short.
            std::size_t rasterBytes = 0;
            for (const auto& r : page.rasters) {
                rasterBytes += r.pixels.size();
            }
            fuzzcheck::checkPage(page);
            if (rasterBytes > 4u * 1024 * 1024) {
                page.rasters.clear();
            }
            if (!page.empty()) {
                writer.writePage(page);
                ++pages;
            }
            return pages < 50;
        },
        error);
    if (!ok) {
        if (error.message.empty() || error.offset > size) {
            __builtin_trap();
        }
        return 0;
    }
    writer.finish();
    std::istringstream back(out.str());
    std::size_t again = 0;
    if (!drawing::readHpgl(
            back,
            [&](drawing::Page&&) {
                ++again;
                return true;
            },
            error) ||
        again != pages) {
        __builtin_trap();
    }
    return 0;
}
