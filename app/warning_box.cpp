#include "app/warning_box.h"

#include <QMessageBox>
#include <QShowEvent>

#include "app/form_setup.h"

namespace mervik {

namespace {
// The box takes its final size only when shown.
class CentredMessageBox : public QMessageBox {
  protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        centreOnScreen(this);
    }
};
}  // namespace

void setUpWarningBox(QMessageBox& box, const std::string& text) {
    std::string lines = text;
    for (char& c : lines)
        if (c == '\r')
            c = '\n';
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("警告"));
    box.setText(QString::fromLocal8Bit(lines.data(), static_cast<qsizetype>(lines.size())));
    // Paths and messages are plain text, whatever they contain.
    box.setTextFormat(Qt::PlainText);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
}

void showWarningBox(const std::string& text) {
    CentredMessageBox box;
    setUpWarningBox(box, text);
    box.exec();
}

}  // namespace mervik
