#include "platform/install_layout.h"

namespace mervik {

SiblingInstallPaths defaultSiblingInstallPaths() {
    return {"/opt/Corvanta/Sandrel/sandrel", "/usr/local/Corvanta/Sandrel/sandrel",
            "/opt/Corvanta/Tolvane/tolvane", "/usr/local/Corvanta/Tolvane/tolvane"};
}

std::string executableSuffix() {
    return {};
}

}  // namespace mervik
