// Feeds arbitrary bytes to the TIFF reader: it must fail cleanly or hand on
// pages whose rasters hold exactly their pixels.
#include "drawing/fuzz/fuzz_checks.h"
#include "drawing/tiff/tiff_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzcheck::readAndCheck(drawing::readTiffBytes, data, size);
    return 0;
}
