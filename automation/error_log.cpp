#include "automation/error_log.h"

#include "automation/run_texts.h"
#include "platform/byte_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace mervik {

namespace fs = std::filesystem;

namespace {

// The long time format of some locales carries the time zone ("t"), which the
// log has never had and which would change with the machine's zone setting.
QString withoutTimeZone(const QString& format) {
    QString out;
    bool inQuote = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            inQuote = !inQuote;
        if (!inQuote && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed();
}

}  // namespace

std::string errorLogTimestamp(const QDateTime& when, const QLocale& locale) {
    QString text = locale.toString(when.date(), QLocale::ShortFormat);
    const QTime t = when.time();
    if (t.hour() != 0 || t.minute() != 0 || t.second() != 0) {
        text += QLatin1Char(' ');
        text += locale.toString(t, withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
    }
    return text.toStdString();
}

std::string escapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != 0x7F) {
            out += ch;
            continue;
        }
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default: {
                static constexpr char kHex[] = "0123456789ABCDEF";
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
            }
        }
    }
    return out;
}

void appendErrorLog(const std::string& dataDir, const std::string& timestamp,
                    const std::string& name, const std::string& message) {
    // Byte paths: the data folder's path may hold bytes that are no UTF-8.
    const fs::path log = fs::path(dataDir) / std::string(runtext::kErrorTxt);
    const fs::path log2 = fs::path(dataDir) / std::string(runtext::kError2Txt);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(log, ec);
    if (!ec && size >= static_cast<std::uintmax_t>(kErrorLogRotateBytes)) {
        fs::remove(log2, ec);
        // When the rename fails the old entries stay in Error.txt and it is appended to.
        fs::rename(log, log2, ec);
    }
    const std::string entry =
        timestamp + ' ' + escapeControls(name) + ' ' + escapeControls(message) + "\r\n";
    // A full disk or a read-only data folder: the entries are lost, which is
    // said once, where someone watching the program may see it.
    static bool failureSaid = false;
    if (!writeFileBytes(log.string(), entry, true) && !failureSaid) {
        failureSaid = true;
        std::fprintf(stderr, "mervik: %s cannot be written; error-log entries are lost\n",
                     log.string().c_str());
        std::fflush(stderr);
    }
}

}  // namespace mervik
