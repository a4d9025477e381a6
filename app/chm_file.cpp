#include "app/chm_file.h"

#include <chm_lib.h>

#include <QRegularExpression>
#include <QString>

#include <sstream>

namespace mervik {

namespace {

std::uint32_t le32(const QByteArray& b, qsizetype at) {
    if (at < 0 || at + 4 > b.size())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint16_t le16(const QByteArray& b, qsizetype at) {
    if (at < 0 || at + 2 > b.size())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// A zero-terminated string inside a record (its length may include the zero).
std::string cString(const QByteArray& b, qsizetype at, qsizetype max) {
    std::string s;
    for (qsizetype i = at; i < b.size() && i < at + max && b[i] != '\0'; ++i)
        s += b[i];
    return s;
}

QString decodeEntities(QString s) {
    s.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    s.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    s.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    s.replace(QStringLiteral("&#39;"), QStringLiteral("'"));
    s.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return s;
}

}  // namespace

std::unique_ptr<ChmFile> ChmFile::open(const std::string& path) {
    chmFile* handle = chm_open(path.c_str());
    if (handle == nullptr)
        return nullptr;
    std::unique_ptr<ChmFile> file(new ChmFile(handle, path));
    file->readSystem();
    return file;
}

ChmFile::ChmFile(chmFile* handle, std::string path) : handle_(handle), path_(std::move(path)) {}

ChmFile::~ChmFile() {
    chm_close(handle_);
}

std::string ChmFile::objectPath(const std::string& name) {
    std::string p = name;
    for (char& c : p)
        if (c == '\\')
            c = '/';
    if (p.empty() || p.front() != '/')
        p.insert(p.begin(), '/');
    return p;
}

bool ChmFile::contains(const std::string& objectPath) const {
    chmUnitInfo ui{};
    return chm_resolve_object(handle_, objectPath.c_str(), &ui) == CHM_RESOLVE_SUCCESS;
}

std::optional<QByteArray> ChmFile::read(const std::string& objectPath) const {
    chmUnitInfo ui{};
    if (chm_resolve_object(handle_, objectPath.c_str(), &ui) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    QByteArray data(static_cast<qsizetype>(ui.length), Qt::Uninitialized);
    if (ui.length == 0)
        return data;
    const LONGINT64 got =
        chm_retrieve_object(handle_, &ui, reinterpret_cast<unsigned char*>(data.data()), 0,
                            static_cast<LONGINT64>(ui.length));
    if (got != static_cast<LONGINT64>(ui.length))
        return std::nullopt;
    return data;
}

void ChmFile::readSystem() {
    // #SYSTEM: a version word, then records of a code, a length and the data.
    const std::optional<QByteArray> sys = read("/#SYSTEM");
    std::string contentsFile;
    if (sys) {
        qsizetype at = 4;
        while (at + 4 <= sys->size()) {
            const std::uint16_t code = le16(*sys, at);
            const std::uint16_t length = le16(*sys, at + 2);
            const qsizetype data = at + 4;
            if (code == 0)
                contentsFile = cString(*sys, data, length);
            else if (code == 2)
                defaultTopic_ = objectPath(cString(*sys, data, length));
            else if (code == 3)
                title_ = cString(*sys, data, length);
            at = data + length;
        }
    }
    if (!contentsFile.empty())
        readContents(objectPath(contentsFile));
    if (defaultTopic_.size() <= 1) {
        defaultTopic_.clear();
        for (const ContentsEntry& e : contents_)
            if (!e.local.empty()) {
                defaultTopic_ = e.local;
                break;
            }
    }
}

void ChmFile::readContents(const std::string& contentsFile) {
    // The contents file is a site map: nested lists of objects whose "Name"
    // and "Local" parameters give the entries.
    const std::optional<QByteArray> hhc = read(contentsFile);
    if (!hhc)
        return;
    const QString text = QString::fromUtf8(*hhc);
    static const QRegularExpression tag(QStringLiteral("<(/?)(ul|object|param)\\b([^>]*)>"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression attr(QStringLiteral("(\\w+)\\s*=\\s*\"([^\"]*)\""),
                                         QRegularExpression::CaseInsensitiveOption);
    int level = -1;
    bool inEntry = false;
    ContentsEntry entry;
    for (auto it = tag.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const bool closing = !m.captured(1).isEmpty();
        const QString name = m.captured(2).toLower();
        if (name == QStringLiteral("ul")) {
            level += closing ? -1 : 1;
        } else if (name == QStringLiteral("object")) {
            if (!closing) {
                inEntry =
                    m.captured(3).contains(QStringLiteral("text/sitemap"), Qt::CaseInsensitive);
                entry = ContentsEntry{};
                entry.level = std::max(level, 0);
            } else if (inEntry) {
                contents_.push_back(entry);
                inEntry = false;
            }
        } else if (inEntry) {
            QString key;
            QString value;
            for (auto a = attr.globalMatch(m.captured(3)); a.hasNext();) {
                const QRegularExpressionMatch am = a.next();
                if (am.captured(1).compare(QStringLiteral("name"), Qt::CaseInsensitive) == 0)
                    key = am.captured(2);
                else if (am.captured(1).compare(QStringLiteral("value"), Qt::CaseInsensitive) == 0)
                    value = decodeEntities(am.captured(2));
            }
            if (key.compare(QStringLiteral("Name"), Qt::CaseInsensitive) == 0)
                entry.name = value.toStdString();
            else if (key.compare(QStringLiteral("Local"), Qt::CaseInsensitive) == 0)
                entry.local = objectPath(value.toStdString());
        }
    }
}

std::optional<std::string> ChmFile::topicForContext(std::uint32_t context) const {
    // #IVB: its byte length, then pairs of a context number and the offset of
    // the topic's name in #STRINGS.
    const std::optional<QByteArray> ivb = read("/#IVB");
    const std::optional<QByteArray> strings = read("/#STRINGS");
    if (!ivb || !strings)
        return std::nullopt;
    const qsizetype end = std::min<qsizetype>(ivb->size(), 4 + le32(*ivb, 0));
    for (qsizetype at = 4; at + 8 <= end; at += 8) {
        if (le32(*ivb, at) != context)
            continue;
        const qsizetype offset = le32(*ivb, at + 4);
        const std::string name = cString(*strings, offset, strings->size());
        if (name.empty())
            return std::nullopt;
        // Compilers store the alias as written in the project, which may be a
        // path of the machine that compiled it: the topic is the longest tail
        // of it that names an object of the file.
        std::string candidate = objectPath(name);
        while (!contains(candidate)) {
            const std::size_t next = candidate.find('/', 1);
            if (next == std::string::npos)
                return std::nullopt;
            candidate.erase(0, next);
        }
        return candidate;
    }
    return std::nullopt;
}

std::optional<std::string> textPopupEntry(const std::string& popupFile, std::uint32_t id) {
    std::istringstream in(popupFile);
    std::string line;
    bool inTopic = false;
    std::string text;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind(".topic", 0) == 0) {
            if (inTopic)
                break;
            std::istringstream words(line.substr(6));
            unsigned long number = 0;
            inTopic = static_cast<bool>(words >> number) && number == id;
            continue;
        }
        if (inTopic)
            text += (text.empty() ? "" : "\n") + line;
    }
    if (!inTopic)
        return std::nullopt;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

}  // namespace mervik
