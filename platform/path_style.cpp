#include "platform/path_style.h"

namespace mervik {

bool isCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

namespace {

// Walks the path forwards so that trail bytes of double-byte characters are
// stepped over rather than guessed at from the end.
template <typename Visit>
void forEachDelimiterCandidate(const std::string& path, PathStyle style, Visit visit) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (style.doubleByte && isCp932LeadByte(c) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        visit(i, path[i]);
    }
}

bool isFolderDelimiter(char c, PathStyle style) {
    return c == style.separator || (style.driveColon && c == ':');
}

}  // namespace

std::size_t lastDelimiter(const std::string& path, PathStyle style) {
    std::size_t last = std::string::npos;
    forEachDelimiterCandidate(path, style, [&](std::size_t i, char c) {
        if (isFolderDelimiter(c, style)) {
            last = i;
        }
    });
    return last;
}

std::string folderPart(const std::string& path, PathStyle style) {
    const std::size_t d = lastDelimiter(path, style);
    return d == std::string::npos ? std::string() : path.substr(0, d + 1);
}

std::string fileNamePart(const std::string& path, PathStyle style) {
    const std::size_t d = lastDelimiter(path, style);
    return d == std::string::npos ? path : path.substr(d + 1);
}

namespace {

std::size_t lastDotOfName(const std::string& name, PathStyle style) {
    std::size_t dot = std::string::npos;
    forEachDelimiterCandidate(name, style, [&](std::size_t i, char c) {
        if (c == '.') {
            dot = i;
        }
    });
    return dot;
}

}  // namespace

std::string extensionPart(const std::string& path, PathStyle style) {
    const std::string name = fileNamePart(path, style);
    const std::size_t dot = lastDotOfName(name, style);
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string baseNamePart(const std::string& path, PathStyle style) {
    const std::string name = fileNamePart(path, style);
    const std::size_t dot = lastDotOfName(name, style);
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string joinPath(const std::string& folder, const std::string& name, PathStyle style) {
    std::string result = folder;
    // A trail byte that looks like a separator does not end the folder.
    if (result.empty() || lastDelimiter(result, style) != result.size() - 1 ||
        result.back() != style.separator) {
        result += style.separator;
    }
    result += name;
    return result;
}

std::string asciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace mervik
