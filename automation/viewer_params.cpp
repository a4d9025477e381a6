#include "automation/viewer_params.h"

#include <QFile>

namespace mervik {

namespace {

QString qPath(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

void rewriteViewerParFile(const std::string& backup, const std::string& target, int mode) {
    QFile in(qPath(backup));
    if (!in.open(QIODevice::ReadOnly))
        return;
    QFile out(qPath(target));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    const QByteArray data = in.readAll();
    QByteArray result;
    result.reserve(data.size() + 16);
    int lineNo = 0;
    qsizetype pos = 0;
    while (pos < data.size()) {
        // A line ends at CR, LF or CR LF, as a text-file reader sees it.
        qsizetype end = pos;
        while (end < data.size() && data[end] != '\r' && data[end] != '\n')
            ++end;
        QByteArray line = data.mid(pos, end - pos);
        if (end < data.size() && data[end] == '\r' && end + 1 < data.size() &&
            data[end + 1] == '\n')
            pos = end + 2;
        else
            pos = end + 1;
        ++lineNo;
        if (mode == 1) {
            if (lineNo == 9)
                line = "1";
        } else if (lineNo >= 8 && lineNo <= 10) {
            line = "0";
        }
        result += line;
        result += "\r\n";
    }
    out.write(result);
}

bool copyFileReplacing(const std::string& from, const std::string& to) {
    QFile in(qPath(from));
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QFile out(qPath(to));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray data = in.readAll();
    return out.write(data) == data.size();
}

}  // namespace mervik
