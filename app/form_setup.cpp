#include "app/form_setup.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QVariant>
#include <QWidget>

// Outside any namespace, as the resource initialiser is declared there.
static void initMervikResources() {
    Q_INIT_RESOURCE(mervik);
}

namespace mervik {

void initResources() {
    // The resources live in a static library, whose initialiser the linker
    // would otherwise leave out.
    initMervikResources();
}

void registerFontSubstitutes() {
    // Japanese Gothic for the Japanese captions: IPA P Gothic has the widths
    // of the proportional Gothic the forms name.
    const QStringList gothic{QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")};
    QFont::insertSubstitutions(QStringLiteral("Calibri"), {QStringLiteral("Carlito")});
    QFont::insertSubstitutions(QStringLiteral("Cambria"), {QStringLiteral("Caladea")});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans")});
    QFont::insertSubstitutions(QStringLiteral("Courier New"), {QStringLiteral("Liberation Mono")});
    QFont::insertSubstitutions(QStringLiteral("Courier"), {QStringLiteral("Liberation Mono")});
    // C059 is drawn to the metrics of Century Schoolbook.
    QFont::insertSubstitutions(QStringLiteral("Century"),
                               {QStringLiteral("C059"), QStringLiteral("Liberation Serif")});
    QFont::insertSubstitutions(QStringLiteral("System"), gothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), gothic);
    QFont::insertSubstitutions(QStringLiteral("MS PGothic"), gothic);
}

void applyPixelFonts(QWidget* root) {
    auto apply = [](QWidget* w) {
        const QVariant px = w->property("fontPixelSize");
        if (!px.isValid())
            return;
        QFont f = w->font();
        f.setPixelSize(px.toInt());
        w->setFont(f);
    };
    // Parents first, so that a child's own size wins over the one it inherits.
    apply(root);
    for (QWidget* child : root->findChildren<QWidget*>())
        apply(child);
}

void centreOnScreen(QWidget* window) {
    QScreen* screen = window->screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2);
}

}  // namespace mervik
