#include "dialogs/dialog_support.h"

#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QPushButton>

namespace mervik {

namespace {
// One per form, owned by it.
class ReturnPressesFocusedButton : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || key->isAutoRepeat())
            return false;
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button == nullptr || button->autoDefault() || button->isDefault() ||
            !button->isEnabled())
            return false;
        button->click();
        return true;
    }
};
}  // namespace

QFont pixelFont(const QString& family, int pixels) {
    QFont font(family);
    font.setPixelSize(pixels);
    return font;
}

void fixDialogFrame(QDialog* dialog) {
    dialog->setFixedSize(dialog->size());
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
}

void pressFocusedButtonOnReturn(QWidget* form) {
    auto* filter = new ReturnPressesFocusedButton(form);
    for (QPushButton* button : form->findChildren<QPushButton*>())
        button->installEventFilter(filter);
}

}  // namespace mervik
