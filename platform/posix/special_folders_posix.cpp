#include <cstdlib>
#include <fstream>

#include "platform/special_folders.h"

namespace mervik {

namespace {

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string envText(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string home() {
    return withoutTrailingSlash(envText("HOME"));
}

// An XDG base folder: the variable when it holds an absolute path, else the
// default under $HOME; empty when neither is known.
std::string xdgBase(const char* variable, const char* homeTail) {
    const std::string value = envText(variable);
    if (!value.empty() && value.front() == '/') {
        return withoutTrailingSlash(value);
    }
    const std::string h = home();
    return h.empty() ? std::string() : h + homeTail;
}

// A folder of user-dirs.dirs (XDG_DESKTOP_DIR="$HOME/Desktop"), else the
// usual default under $HOME.
std::string userDir(const std::string& key, const char* defaultName) {
    const std::string h = home();
    const std::string config = xdgBase("XDG_CONFIG_HOME", "/.config");
    if (!config.empty()) {
        std::ifstream in(config + "/user-dirs.dirs", std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            const std::size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line.compare(start, key.size(), key) != 0) {
                continue;
            }
            std::size_t pos = start + key.size();
            if (pos >= line.size() || line[pos] != '=') {
                continue;
            }
            ++pos;
            std::string value = line.substr(pos);
            if (value.size() >= 2 && value.front() == '"') {
                const std::size_t close = value.find('"', 1);
                value = value.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            }
            if (value.rfind("$HOME", 0) == 0) {
                if (h.empty()) {
                    return {};
                }
                value = h + value.substr(5);
            }
            if (!value.empty() && value.front() == '/') {
                return withoutTrailingSlash(value);
            }
        }
    }
    return h.empty() ? std::string() : h + "/" + defaultName;
}

}  // namespace

std::string localAppDataFolder() {
    return xdgBase("XDG_DATA_HOME", "/.local/share");
}

std::string specialFolderPath(int csidl) {
    switch (csidl) {
        case 11:   // CSIDL_STARTMENU
        case 2: {  // CSIDL_PROGRAMS
            const std::string data = localAppDataFolder();
            return data.empty() ? data : data + "/applications";
        }
        case 0:   // CSIDL_DESKTOP
        case 16:  // CSIDL_DESKTOPDIRECTORY
            return userDir("XDG_DESKTOP_DIR", "Desktop");
        case 5:  // CSIDL_PERSONAL
            return userDir("XDG_DOCUMENTS_DIR", "Documents");
        case 21:  // CSIDL_TEMPLATES
            return userDir("XDG_TEMPLATES_DIR", "Templates");
        case 26:  // CSIDL_APPDATA
            return xdgBase("XDG_CONFIG_HOME", "/.config");
        case 28:  // CSIDL_LOCAL_APPDATA
            return localAppDataFolder();
        case 38:  // CSIDL_PROGRAM_FILES
            return "/opt";
        case 35:  // CSIDL_COMMON_APPDATA
            return "/var/lib";
        default:  // CSIDL_DRIVES, CSIDL_FAVORITES, CSIDL_COMMON_DOCUMENTS
            return {};
    }
}

}  // namespace mervik
