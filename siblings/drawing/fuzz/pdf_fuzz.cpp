// Feeds arbitrary bytes to the PDF reader: it must fail cleanly or hand on
// pages whose rasters hold exactly their pixels.
#include "drawing/fuzz/fuzz_checks.h"
#include "drawing/pdf/pdf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzcheck::readAndCheck(drawing::readPdfBytes, data, size);
    return 0;
}
