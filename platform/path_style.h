// Path styles: how a path string is split into folder, name and extension.
// The routines are pure string work, written once against a style, so that
// Windows paths can be handled (and tested) on any platform.
#pragma once

#include <cstddef>
#include <string>

namespace mervik {

struct PathStyle {
    char separator = '/';
    // "C:" ends a folder part like a separator does.
    bool driveColon = false;
    // Code page 932: a lead byte (0x81-0x9F, 0xE0-0xFC) hides the byte after
    // it, so a trail byte 0x5C ("\") or 0x2E (".") is never a delimiter.
    bool doubleByte = false;

    static constexpr PathStyle windows(bool cp932 = true) { return {'\\', true, cp932}; }
    static constexpr PathStyle posix() { return {'/', false, false}; }
    // The style of the platform the program was built for.
    static PathStyle native();

    bool operator==(const PathStyle&) const = default;
};

bool isCp932LeadByte(unsigned char c);

// Index of the last separator (or drive colon) of path, npos when none.
std::size_t lastDelimiter(const std::string& path, PathStyle style = PathStyle::native());

// Everything up to and including the last separator or drive colon; empty
// when there is neither.
std::string folderPart(const std::string& path, PathStyle style = PathStyle::native());

// Everything after the last separator or drive colon.
std::string fileNamePart(const std::string& path, PathStyle style = PathStyle::native());

// The characters after the last dot of the file-name part, without the dot;
// empty for a name without a dot or ending in a dot. Case is kept.
std::string extensionPart(const std::string& path, PathStyle style = PathStyle::native());

// The file-name part without its extension (from its last dot on).
std::string baseNamePart(const std::string& path, PathStyle style = PathStyle::native());

// folder + separator + name, with exactly the separator of the style between.
std::string joinPath(const std::string& folder, const std::string& name,
                     PathStyle style = PathStyle::native());

// ASCII A-Z to a-z, byte by byte; every other byte is kept.
std::string asciiLower(std::string text);

}  // namespace mervik
