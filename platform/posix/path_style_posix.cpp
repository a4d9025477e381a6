#include "platform/path_style.h"

namespace mervik {

PathStyle PathStyle::native() {
    return posix();
}

}  // namespace mervik
