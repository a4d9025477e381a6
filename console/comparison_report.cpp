#include "console/comparison_report.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QString>

#include <cstdio>

namespace mervik {
namespace {

QString fromBytes(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

bool PairOutcome::differ() const {
    return comparison.value(QStringLiteral("differ")).toBool();
}

QJsonObject readComparison(const std::string& path) {
    QFile file(fromBytes(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    return doc.isObject() ? doc.object() : QJsonObject{};
}

std::string reportLine(const PairOutcome& pair) {
    QJsonObject line;
    line.insert(QStringLiteral("file1"), fromBytes(pair.file1));
    line.insert(QStringLiteral("file2"), fromBytes(pair.file2));
    line.insert(QStringLiteral("result"),
                pair.complete ? QJsonValue(fromBytes(pair.result)) : QJsonValue(QJsonValue::Null));
    // A pass whose comparison left no summary (a program of another make)
    // ran, but whether the drawings differ is not known.
    const bool known = !pair.comparison.isEmpty();
    const char* outcome = !pair.complete  ? "failed"
                          : !known        ? "unreported"
                          : pair.differ() ? "different"
                                          : "same";
    line.insert(QStringLiteral("outcome"), QString::fromLatin1(outcome));
    const QJsonArray regions = pair.comparison.value(QStringLiteral("regions")).toArray();
    line.insert(QStringLiteral("pages"), pair.comparison.value(QStringLiteral("pages")).toInt());
    line.insert(QStringLiteral("pagesWithDifferences"),
                pair.comparison.value(QStringLiteral("pagesWithDifferences")).toInt());
    line.insert(QStringLiteral("regionCount"), static_cast<int>(regions.size()));
    line.insert(QStringLiteral("regions"), regions);
    const QJsonArray alignments = pair.comparison.value(QStringLiteral("alignments")).toArray();
    if (!alignments.isEmpty())
        line.insert(QStringLiteral("alignments"), alignments);
    return QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString();
}

bool appendReportLine(const std::string& path, const std::string& line) {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (f == nullptr)
        return false;
    const std::string text = line + "\n";
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && written;
}

}  // namespace mervik
