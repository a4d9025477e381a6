#include "automation/error_log.h"

#include "automation/run_texts.h"

#include <QFile>
#include <QFileInfo>

namespace mervik {

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

QString qPath(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
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

void appendErrorLog(const std::string& dataDir, const std::string& timestamp,
                    const std::string& name, const std::string& message) {
    const QString log = qPath(dataDir + "/" + std::string(runtext::kErrorTxt));
    const QString log2 = qPath(dataDir + "/" + std::string(runtext::kError2Txt));
    QFileInfo info(log);
    if (info.exists() && info.size() >= kErrorLogRotateBytes) {
        QFile::remove(log2);
        // When the rename fails the old entries stay in Error.txt and it is appended to.
        QFile::rename(log, log2);
    }
    QFile f(log);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    std::string line = timestamp + ' ' + name + ' ' + message + "\r\n";
    f.write(line.data(), static_cast<qint64>(line.size()));
}

}  // namespace mervik
