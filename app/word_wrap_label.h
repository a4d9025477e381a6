// A word-wrapped label that breaks lines at blanks only, as the forms were
// laid out for: a run of blanks that does not fit ends the line, and a word
// is never split (not even at a hyphen).
#pragma once

#include <QLabel>
#include <QStringList>

class TWordWrapLabel : public QLabel {
    Q_OBJECT

  public:
    explicit TWordWrapLabel(QWidget* parent = nullptr);

    // The lines the caption takes at the given width in the label's font.
    QStringList wrappedLines(int width) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
};
