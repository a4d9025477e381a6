#include "settings/Tolvane1.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>

#include "platform/file_replace.h"
#include "shell/UnitShell.h"

namespace mervik {

TSettings Settings;
int ParFileStatus = 0;

namespace {

ExecutableDefaults& defaultsStore() {
    static ExecutableDefaults defaults = defaultSiblingInstallPaths();
    return defaults;
}

WarningHook& warningHook() {
    static WarningHook hook;
    return hook;
}

// Whether the plain file at path holds exactly content.
bool holds(const std::string& path, const std::string& content) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) ||
        std::filesystem::file_size(path, ec) != content.size() || ec) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string file(content.size(), '\0');
    return in.read(file.data(), static_cast<std::streamsize>(file.size())) && file == content;
}

bool isPlainFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// Reads lines ended by CR LF, as the program writes them, and also by a lone
// LF or a lone CR, as a hand-edited file may have them: a file saved by an
// editor that writes LF must not read as a foreign version and be replaced.
class LineReader {
  public:
    explicit LineReader(std::string_view content) : rest_(content) {}

    std::string next() {
        const std::size_t end = rest_.find_first_of("\r\n");
        std::string line(rest_.substr(0, end));
        if (end == std::string_view::npos) {
            rest_ = {};
        } else {
            const bool crlf =
                rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n';
            rest_.remove_prefix(end + (crlf ? 2 : 1));
        }
        return line;
    }

  private:
    std::string_view rest_;
};

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == '\x7f';
}

// The first word of the line as a decimal number; a word that is no number,
// and an empty line, read as 0. A number beyond 32 bits reads as 0, or, with
// clamp, as the nearest 32-bit value.
std::int64_t readNumber(const std::string& line, bool clamp = false) {
    std::size_t i = 0;
    while (i < line.size() && isBlankOrControl(line[i])) {
        ++i;
    }
    std::size_t end = i;
    while (end < line.size() && !isBlankOrControl(line[end])) {
        ++end;
    }
    const std::string_view word = std::string_view(line).substr(i, end - i);
    std::size_t pos = 0;
    bool negative = false;
    if (pos < word.size() && (word[pos] == '-' || word[pos] == '+')) {
        negative = word[pos] == '-';
        ++pos;
    }
    if (pos == word.size()) {
        return 0;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    std::int64_t value = 0;
    bool tooBig = false;
    for (; pos < word.size(); ++pos) {
        if (word[pos] < '0' || word[pos] > '9') {
            return 0;
        }
        if (!tooBig) {
            value = value * 10 + (word[pos] - '0');
            tooBig = value > kMax + 1;
        }
    }
    if (!tooBig) {
        value = negative ? -value : value;
        if (value >= kMin && value <= kMax) {
            return value;
        }
    }
    if (!clamp) {
        return 0;
    }
    return negative ? kMin : kMax;
}

void checkExecutable(std::string& path, const std::string& defaultPath,
                     const std::string& fallbackPath, Msg missing) {
    if (isPlainFile(path)) {
        return;
    }
    // One way only, and only for the exact default spelling.
    if (path == defaultPath && isPlainFile(fallbackPath)) {
        path = fallbackPath;
        return;
    }
    ShowWarning(path + "\r" + std::string(message(missing)));
}

}  // namespace

void setDataFolder(TSettings& settings, const std::string& localAppData, PathStyle style) {
    const std::string sep(1, style.separator);
    settings.sDataDir =
        localAppData + sep + std::string(kMakerFolder) + sep + std::string(kProgramFolder);
    settings.sParFile = settings.sDataDir + sep + std::string(kParFileName);
}

std::string formatParFile(const TSettings& s) {
    const std::string lines[] = {
        std::string(ParFileVersion),
        s.sHpglFileExt,
        s.sImageFileExt,
        s.sPdfFileExt,
        s.sEmfFileExt,
        s.sDxfFileExt,
        s.sDwgFileExt,
        s.sIgesFileExt,
        s.sGerberFileExt,
        s.sSandrelExe,
        s.sTolvaneExe,
        s.sOutDir,
        std::to_string(s.iWaitTime),
        s.sChgAreaDir1,
        s.sChgAreaDir2,
        std::to_string(static_cast<unsigned>(s.iOutTyp)),
    };
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

int parseParFile(std::string_view content, TSettings& s) {
    LineReader in(content);
    if (in.next() != ParFileVersion) {
        return 2;
    }
    for (std::string* list : {&s.sHpglFileExt, &s.sImageFileExt, &s.sPdfFileExt, &s.sEmfFileExt,
                              &s.sDxfFileExt, &s.sDwgFileExt, &s.sIgesFileExt, &s.sGerberFileExt}) {
        *list = in.next();
    }
    const ExecutableDefaults& d = executableDefaults();
    s.sSandrelExe = in.next();
    checkExecutable(s.sSandrelExe, d.sandrelDefault, d.sandrelFallback, Msg::sandrelMissing);
    s.sTolvaneExe = in.next();
    checkExecutable(s.sTolvaneExe, d.tolvaneDefault, d.tolvaneFallback, Msg::tolvaneMissing);
    s.sOutDir = in.next();
    // A waiting time too long for 32 bits means "very long", not "none".
    s.iWaitTime = static_cast<std::int32_t>(readNumber(in.next(), true));
    s.sChgAreaDir1 = in.next();
    s.sChgAreaDir2 = in.next();
    s.iOutTyp = static_cast<std::uint8_t>(readNumber(in.next()) & 0xFF);
    return 0;
}

void SaveParFile() {
    const std::string content = formatParFile(Settings);
    // A file that already says all this is left as it is: rewriting it
    // only cost two flushes to disk at the end of every run.
    if (holds(Settings.sParFile, content)) {
        return;
    }
    if (replaceFile(Settings.sParFile, content) != ReplaceResult::ok) {
        ShowWarning(std::string(message(Msg::cannotCreateParFile)));
    }
}

int LoadParFile() {
    std::error_code ec;
    if (Settings.sParFile.empty() || std::filesystem::is_directory(Settings.sParFile, ec)) {
        return 1;
    }
    std::ifstream in(Settings.sParFile, std::ios::binary);
    if (!in) {
        return 1;
    }
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (in.bad()) {
        return 1;
    }
    return parseParFile(content, Settings);
}

const ExecutableDefaults& executableDefaults() {
    return defaultsStore();
}

void setExecutableDefaults(const ExecutableDefaults& defaults) {
    defaultsStore() = defaults;
}

void resetExecutableDefaults() {
    defaultsStore() = defaultSiblingInstallPaths();
}

bool CheckPathFolder(std::string& path, PathStyle style) {
    const std::string folder = folderPart(path, style);
    path = folder;
    if (folder.empty()) {
        return false;
    }
    std::string toTest = folder;
    if (folder.back() == style.separator) {
        toTest.pop_back();
        // The root folder itself is still a folder.
        if (toTest.empty()) {
            toTest = folder;
        }
    } else {
        path += style.separator;
    }
    return FolderExists(toTest);
}

bool CheckFolderSetting(std::string& path, PathStyle style) {
    // Without this, "/home/u/out" would stand for /home/u/, and two different
    // folders typed that way would be the same one.
    // A bare name stays refused: it would mean a folder of whatever the
    // current directory happens to be.
    if (!path.empty() && path.back() != style.separator && !folderPart(path, style).empty() &&
        FolderExists(path)) {
        path += style.separator;
        return true;
    }
    return CheckPathFolder(path, style);
}

void ShowWarning(const std::string& text) {
    if (const WarningHook& hook = warningHook()) {
        hook(text);
        return;
    }
    std::string shown = text;
    for (char& c : shown) {
        if (c == '\r') {
            c = '\n';
        }
    }
    std::cerr << shown << '\n' << std::flush;
}

void setWarningHook(WarningHook hook) {
    warningHook() = std::move(hook);
}

// Input file types.

TInputFileType GetInputFileType(const std::string& path, PathStyle style) {
    return GetInputFileType(path, Settings, style);
}

TInputFileType GetInputFileType(const std::string& path, const TSettings& s, PathStyle style) {
    const std::string ext = asciiLower(extensionPart(path, style));
    const std::pair<const std::string*, TInputFileType> order[] = {
        {&s.sHpglFileExt, ftHpgl}, {&s.sImageFileExt, ftImage},   {&s.sPdfFileExt, ftPdf},
        {&s.sEmfFileExt, ftEmf},   {&s.sDxfFileExt, ftDxf},       {&s.sDwgFileExt, ftDwg},
        {&s.sIgesFileExt, ftIges}, {&s.sGerberFileExt, ftGerber}, {&s.sSxfFileExt, ftSxf},
    };
    for (const auto& [list, type] : order) {
        if (IsExtInList(ext, *list)) {
            return type;
        }
    }
    return ext == "cmt" ? ftComment : ftUnknown;
}

bool IsExtInList(const std::string& ext, const std::string& list) {
    const std::string lower = asciiLower(list);
    const bool acceptsEmpty = lower.empty() || lower.front() == ';' || lower.back() == ';' ||
                              lower.find(";;") != std::string::npos;
    if (acceptsEmpty && ext.empty()) {
        return true;
    }
    return FindExtInList(ext, lower) > 0;
}

int FindExtInList(const std::string& ext, const std::string& list) {
    int position = 1;
    while (static_cast<std::size_t>(position) <= list.size()) {
        const int start = position;
        if (GetNextListEntry(list, position) == ext) {
            return start;
        }
    }
    return 0;
}

std::string GetNextListEntry(const std::string& list, int& position) {
    std::string entry;
    std::size_t i = position < 1 ? 0 : static_cast<std::size_t>(position) - 1;
    if (i >= list.size()) {
        return entry;
    }
    const std::size_t end = std::min(list.find(';', i), list.size());
    entry = list.substr(i, end - i);
    i = end < list.size() ? end + 1 : end;
    position = static_cast<int>(i + 1);
    return entry;
}

}  // namespace mervik
