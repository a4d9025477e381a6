#include <dirent.h>
#include <sys/stat.h>

#include "platform/dir_search.h"

namespace mervik {

struct DirSearch::Impl {
    DIR* dir = nullptr;
    int dirFd = -1;
    std::string pattern;

    ~Impl() {
        if (dir != nullptr) {
            closedir(dir);
        }
    }
};

DirSearch::DirSearch(const std::string& patternPath, PathStyle style)
    : impl_(std::make_unique<Impl>()) {
    const std::string folder = folderPart(patternPath, style);
    impl_->pattern = fileNamePart(patternPath, style);
    impl_->dir = opendir(folder.empty() ? "." : folder.c_str());
    if (impl_->dir != nullptr) {
        impl_->dirFd = dirfd(impl_->dir);
    }
}

DirSearch::~DirSearch() = default;
DirSearch::DirSearch(DirSearch&&) noexcept = default;
DirSearch& DirSearch::operator=(DirSearch&&) noexcept = default;

bool DirSearch::isOpen() const {
    return impl_ && impl_->dir != nullptr;
}

bool DirSearch::next(DirEntry& entry) {
    if (!isOpen()) {
        return false;
    }
    while (dirent* d = readdir(impl_->dir)) {
        std::string name = d->d_name;
        if (!matchesPattern(impl_->pattern, name)) {
            continue;
        }
        bool folder = d->d_type == DT_DIR;
        if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
            struct stat st {};
            folder = fstatat(impl_->dirFd, d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        entry.name = std::move(name);
        entry.isFolder = folder;
        return true;
    }
    return false;
}

}  // namespace mervik
