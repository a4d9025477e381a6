#include "app/URLLink.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QUrl>

TURLHintForm::TURLHintForm()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
}

void TURLHintForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font());
    p.drawText(2, 2 + QFontMetrics(font()).ascent(), text_);
}

TURLLink::TURLLink(QWidget* parent)
    : QLabel(parent),
      hintFont_(std::make_unique<QFont>()),
      hintColor_(QToolTip::palette().color(QPalette::ToolTipBase)),
      hint_(std::make_unique<TURLHintForm>()) {
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setFontColor(Qt::blue);
    opener_ = [](const QString& target) { QDesktopServices::openUrl(QUrl(target)); };
}

TURLLink::~TURLLink() = default;

// Each setter repaints only when the value changes.

void TURLLink::setURLType(TURLtype value) {
    storeAndRepaint(urlType_, value);
}

void TURLLink::setLink(const QString& value) {
    storeAndRepaint(link_, value);
}

void TURLLink::setHintFormFont(const QFont& value) {
    storeAndRepaint(*hintFont_, value);
}

void TURLLink::setEnableShowHint(bool value) {
    storeAndRepaint(enableShowHint_, value);
}

void TURLLink::setHintFormColor(const QColor& value) {
    storeAndRepaint(hintColor_, value);
}

void TURLLink::setHintOffsetX(int value) {
    storeAndRepaint(hintOffsetX_, value);
}

void TURLLink::setHintOffsetY(int value) {
    storeAndRepaint(hintOffsetY_, value);
}

void TURLLink::setTransparent(bool value) {
    if (Transparent() == value)
        return;
    setAutoFillBackground(!value);
    update();
}

void TURLLink::setCaption(const QString& value) {
    if (text() != value)
        setText(value);
}

void TURLLink::setColor(const QColor& value) {
    if (Color() == value)
        return;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, value);
    setPalette(pal);
}

void TURLLink::setLinkColor(const QColor& value) {
    storeAndRepaint(linkColor_, value);
}

void TURLLink::setFontColor(const QColor& color) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
}

QString TURLLink::target() const {
    return urlType_ == tpMAIL ? QStringLiteral("mailto:") + link_ : link_;
}

void TURLLink::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    savedColor_ = fontColor();
    setFontColor(linkColor_);
    update();
}

void TURLLink::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    setFontColor(savedColor_);
    update();
    hideHint();
}

void TURLLink::mouseMoveEvent(QMouseEvent* event) {
    // The label's own mouse-move handling is not run; a shown hint stays put.
    if (!enableShowHint_ || hintVisible_)
        return;
    const QPoint mouse = event->globalPosition().toPoint();
    QPalette pal = hint_->palette();
    pal.setColor(QPalette::Window, hintColor_);
    hint_->setPalette(pal);
    hint_->setFont(*hintFont_);
    const QFontMetrics fm(*hintFont_);
    hint_->setText(link_);
    hint_->resize(fm.horizontalAdvance(link_) + 6, fm.height() + 3);
    hint_->move(mouse.x() + hintOffsetX_, mouse.y() + hintOffsetY_);
    hint_->show();
    hint_->update();
    hintVisible_ = true;
}

void TURLLink::mousePressEvent(QMouseEvent* event) {
    update();
    QLabel::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    // What the desktop makes of the target is its own business: no result, no message.
    if (opener_)
        opener_(target());
    hideHint();
}

void TURLLink::hideHint() {
    if (!hintVisible_)
        return;
    hint_->hide();
    hintVisible_ = false;
}
