#include "sandrel/page_files.h"

#include <ostream>

#include "common/files.h"
#include "drawing/hpgl/hpgl.h"

namespace sandrel {

bool writePageFile(const std::string& path, const std::vector<drawing::Page>& pages,
                   std::string& error, siblings::Durability durability) {
    return siblings::writeFileAtomically(
        path,
        [&](std::ostream& out) {
            drawing::HpglWriter writer(out);
            for (const auto& page : pages) {
                writer.writePage(page);
            }
            writer.finish();
            return static_cast<bool>(out);
        },
        error, durability);
}

}  // namespace sandrel
