// Page files of the comparison program and its pair generator.
#pragma once

#include <string>
#include <vector>

#include "common/files.h"
#include "drawing/page.h"

namespace sandrel {

// Writes the pages as one HPGL plot, atomically: the file is complete or
// absent. error says why it failed.
bool writePageFile(const std::string& path, const std::vector<drawing::Page>& pages,
                   std::string& error,
                   siblings::Durability durability = siblings::Durability::Durable);

}  // namespace sandrel
