#include "dialog_support.h"

#include <QDialog>

namespace mervik {

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

}  // namespace mervik
