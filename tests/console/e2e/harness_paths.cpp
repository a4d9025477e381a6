// The programs a test executable drives: each executable compiles this file
// with its own MERVIK_CLI_PATH and FAKE_SIBLING_PATH, and shares the rest of
// the harness (e2e_harness_core) with the others.
#include "tests/console/e2e/harness.h"

namespace e2e {

std::string cliPath() {
    return MERVIK_CLI_PATH;
}
std::string fakePath() {
    return FAKE_SIBLING_PATH;
}

}  // namespace e2e
