// SXF that must end in one clear error or a documented stand-in.
#include <gtest/gtest.h>

#include "read_all.h"
#include "sxf.h"

namespace {
}  // namespace
