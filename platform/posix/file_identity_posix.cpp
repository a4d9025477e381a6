#include "platform/file_identity.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <ctime>

namespace mervik {

std::optional<FileStamp> fileStamp(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    FileStamp s;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::int64_t>(st.st_size);
    s.modifiedNs =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return s;
}

bool sameFileObject(const std::string& a, const std::string& b) {
    const std::optional<FileStamp> sa = fileStamp(a);
    const std::optional<FileStamp> sb = fileStamp(b);
    return sa && sb && sa->sameObject(*sb);
}

bool sameFolder(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    return S_ISDIR(sa.st_mode) && S_ISDIR(sb.st_mode) && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool folderWithin(const std::string& folder, const std::string& base) {
    struct stat sb {};
    if (folder.empty() || base.empty() || ::stat(base.c_str(), &sb) != 0)
        return false;
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) == nullptr)
        return false;
    std::string path = resolved;
    for (;;) {
        struct stat sp {};
        if (::stat(path.c_str(), &sp) == 0 && sp.st_dev == sb.st_dev && sp.st_ino == sb.st_ino)
            return true;
        if (path == "/")
            return false;
        const std::size_t slash = path.rfind('/');
        path = slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
    }
}

std::int64_t fileClockNowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

}  // namespace mervik
