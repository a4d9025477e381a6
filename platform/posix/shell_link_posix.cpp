#include <liblnk.h>

#include <memory>
#include <vector>

#include "platform/shell_link.h"

namespace mervik {

namespace {

struct FileCloser {
    void operator()(liblnk_file_t* file) const {
        liblnk_file_close(file, nullptr);
        liblnk_file_free(&file, nullptr);
    }
};

using LinkFile = std::unique_ptr<liblnk_file_t, FileCloser>;

// Errors are dropped on purpose: a link we cannot read is simply no link.
void dropError(liblnk_error_t*& error) {
    if (error != nullptr) {
        liblnk_error_free(&error);
    }
}

using SizeGetter = int (*)(liblnk_file_t*, size_t*, liblnk_error_t**);
using TextGetter = int (*)(liblnk_file_t*, uint8_t*, size_t, liblnk_error_t**);

// 1 and the text when the link holds the value, 0 when it has none, -1 on error.
int readText(liblnk_file_t* file, SizeGetter size, TextGetter text, std::string& out) {
    liblnk_error_t* error = nullptr;
    size_t n = 0;
    int rc = size(file, &n, &error);
    dropError(error);
    if (rc != 1 || n == 0) {
        return rc < 0 ? -1 : 0;
    }
    std::vector<uint8_t> buffer(n);
    rc = text(file, buffer.data(), buffer.size(), &error);
    dropError(error);
    if (rc != 1) {
        return rc < 0 ? -1 : 0;
    }
    out.assign(reinterpret_cast<const char*>(buffer.data()));
    return 1;
}

}  // namespace

std::optional<std::string> readShellLinkTarget(const std::string& path) {
    liblnk_error_t* error = nullptr;
    liblnk_file_t* raw = nullptr;
    if (liblnk_file_initialize(&raw, &error) != 1) {
        dropError(error);
        return std::nullopt;
    }
    if (liblnk_file_open(raw, path.c_str(), LIBLNK_OPEN_READ, &error) != 1) {
        dropError(error);
        liblnk_file_free(&raw, nullptr);
        return std::nullopt;
    }
    LinkFile file(raw);

    // The network path comes first, as with the shell's UNC priority.
    std::string target;
    int rc = readText(file.get(), liblnk_file_get_utf8_network_path_size,
                      liblnk_file_get_utf8_network_path, target);
    if (rc == 1) {
        return target;
    }
    rc = readText(file.get(), liblnk_file_get_utf8_local_path_size, liblnk_file_get_utf8_local_path,
                  target);
    if (rc < 0) {
        return std::nullopt;
    }
    return rc == 1 ? target : std::string();
}

}  // namespace mervik
