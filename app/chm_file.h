// Read access to a compiled HTML Help file: its objects, the default topic,
// the table of contents and the context map.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct chmFile;

namespace mervik {

class ChmFile {
  public:
    struct ContentsEntry {
        std::string name;
        std::string local;  // object path with its leading "/", may be empty
        int level = 0;      // 0 for the top level
    };

    // Null when the file cannot be opened as a compiled help file.
    static std::unique_ptr<ChmFile> open(const std::string& path);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    const std::string& path() const { return path_; }
    // An object by its path inside the file ("/topic.htm"); nullopt when absent.
    std::optional<QByteArray> read(const std::string& objectPath) const;
    bool contains(const std::string& objectPath) const;

    std::string title() const { return title_; }
    // The default topic's object path; empty when the file names none.
    std::string defaultTopic() const { return defaultTopic_; }
    const std::vector<ContentsEntry>& contents() const { return contents_; }
    // The topic mapped to a context number, by the file's context map.
    std::optional<std::string> topicForContext(std::uint32_t context) const;

    // Makes an object path of a name as the project or the contents name it
    // (relative, with or without "/", backslashes allowed).
    static std::string objectPath(const std::string& name);

  private:
    explicit ChmFile(chmFile* handle, std::string path);
    void readSystem();
    void readContents(const std::string& contentsFile);

    chmFile* handle_;
    std::string path_;
    std::string title_;
    std::string defaultTopic_;
    std::vector<ContentsEntry> contents_;
};

// One entry of a text-popup file: ".topic N" lines, each followed by the
// text of topic N up to the next ".topic" line. nullopt when absent.
std::optional<std::string> textPopupEntry(const std::string& popupFile, std::uint32_t id);

}  // namespace mervik
