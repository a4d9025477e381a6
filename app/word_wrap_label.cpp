#include "app/word_wrap_label.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>

TWordWrapLabel::TWordWrapLabel(QWidget* parent) : QLabel(parent) {}

QStringList TWordWrapLabel::wrappedLines(int width) const {
    const QFontMetrics fm(font());
    // Each word with the blanks before it: the blanks take their room on the
    // line, and vanish where the line breaks.
    static const QRegularExpression word(QStringLiteral("(\\s*)(\\S+)"));
    QStringList lines;
    QString line;
    for (auto it = word.globalMatch(text()); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString candidate = line.isEmpty() ? m.captured(2) : line + m.captured(0);
        if (!line.isEmpty() && fm.horizontalAdvance(candidate) > width) {
            lines << line;
            line = m.captured(2);
        } else {
            line = candidate;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

void TWordWrapLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font());
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QFontMetrics fm(font());
    const QRect area = contentsRect();
    int y = area.top() + fm.ascent();
    // Lines follow at the font's height without extra leading, as a label's do.
    for (const QString& line : wrappedLines(area.width())) {
        p.drawText(area.left(), y, line);
        y += fm.ascent() + fm.descent();
    }
}
