// Feeds arbitrary bytes to the SXF reader; what it reads must go out through
// the writer, in the form it came in, and read back to the same page.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "drawing/fuzz/fuzz_checks.h"
#include "drawing/sxf/sxf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string in(reinterpret_cast<const char*>(data), size);
    drawing::ReadError error;
    std::vector<drawing::Page> pages;
    const bool ok = drawing::readSxf(
        in,
        [&](drawing::Page&& page) {
            fuzzcheck::checkPage(page);
            pages.push_back(std::move(page));
            return true;
        },
        error);
    fuzzcheck::checkOutcome(ok, error, size);
    if (!ok || pages.size() != 1) {
        return 0;
    }
    // A clothoid or a circle may make a page of a million points, whose
    // writing and reading again take seconds here: too slow to fuzz, and
    // the writer's tests write pages of that kind.
    std::size_t points = 0;
    for (const auto& path : pages[0].paths) {
        points += path.points.size();
    }
    if (points > 200'000) {
        return 0;
    }
    const bool sfc = in.find("/*SXF") != std::string::npos;
    std::ostringstream out;
    drawing::SxfWriter writer(out, sfc ? drawing::SxfForm::Sfc : drawing::SxfForm::P21, "f");
    writer.addPage(pages[0]);
    std::string finishError;
    if (!writer.finish(finishError)) {
        __builtin_trap();
    }
    int again = 0;
    if (!drawing::readSxf(
            out.str(),
            [&](drawing::Page&&) {
                ++again;
                return true;
            },
            error)) {
        __builtin_trap();
    }
    return 0;
}
