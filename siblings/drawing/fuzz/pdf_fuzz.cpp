// Feeds arbitrary bytes to the PDF reader: it must fail cleanly or hand on
// pages whose rasters hold exactly their pixels.
#include <cstddef>
#include <cstdint>

#include "fuzz_checks.h"
#include "pdf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    drawing::ReadError error;
    int pages = 0;
    const bool ok = drawing::readPdfBytes(
        data, size,
        [&](drawing::Page&& page) {
            fuzzcheck::checkPage(page);
            return ++pages < 20;
        },
        error);
    fuzzcheck::checkOutcome(ok, error, size);
    return 0;
}
