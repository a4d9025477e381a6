// Small pieces the three dialogs share: byte strings at the widget boundary,
// fonts by pixel size, the fixed dialog frame.
#pragma once

#include <QFont>
#include <QString>
#include <string>

class QDialog;
class QWidget;

namespace mervik {

// Settings and paths are UTF-8 byte strings; widgets take QString.
inline QString toQt(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string fromQt(const QString& text) {
    return text.toStdString();
}

QFont pixelFont(const QString& family, int pixels);

// A fixed-size frame with only the close box, at the size of the window
// definition.
void fixDialogFrame(QDialog* dialog);

// Return and Enter press the focused push button of form, as Space does.
// Buttons that are default or auto-default keep Qt's own handling, so which
// button is the default does not change. Covers the buttons that exist when
// it is called.
void pressFocusedButtonOnReturn(QWidget* form);

}  // namespace mervik
