#include "tolvane/sxf_output.h"

#include "common/files.h"
#include "drawing/sxf/sxf.h"
#include "tolvane/convert.h"

namespace tolvane {

bool writeSxfOutput(const std::string& path, const PageSource& source, const Parameters& params,
                    std::string& error) {
    const std::string name = siblings::nameOf(path);
    const bool sfc =
        name.size() > 4 && siblings::lowerAscii(name.substr(name.size() - 4)) == ".sfc";
    std::string innerError;
    const bool ok = siblings::writeFileAtomically(
        path,
        [&](std::ostream& out) {
            drawing::SxfWriter writer(out, sfc ? drawing::SxfForm::Sfc : drawing::SxfForm::P21,
                                      name);
            if (!source(
                    [&](drawing::Page&& page) {
                        applyPageOptions(page, params);
                        writer.addPage(page);
                        return static_cast<bool>(out);
                    },
                    innerError)) {
                return false;
            }
            std::string finishError;
            if (!writer.finish(finishError)) {
                innerError = path + ": " + finishError;
                return false;
            }
            return true;
        },
        error);
    if (!ok && !innerError.empty()) {
        error = innerError;
    }
    return ok;
}

}  // namespace tolvane
