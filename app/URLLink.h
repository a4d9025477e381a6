// A label that opens a web or mail address when clicked, takes another colour
// while the mouse is over it and can show its target in a small hint window.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

#include <functional>
#include <memory>

class TURLLink;

// The hint window: a plain window without owner or border that shows the
// link's target.
class TURLHintForm : public QWidget {
  public:
    TURLHintForm();
    void setText(const QString& text) { text_ = text; }
    const QString& text() const { return text_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
};

class TURLLink : public QLabel {
    Q_OBJECT
    Q_PROPERTY(TURLtype URLType READ URLType WRITE setURLType)
    Q_PROPERTY(QString Link READ Link WRITE setLink)
    Q_PROPERTY(QFont HintFormFont READ HintFormFont WRITE setHintFormFont)
    Q_PROPERTY(bool EnableShowHint READ EnableShowHint WRITE setEnableShowHint)
    Q_PROPERTY(QColor HintFormColor READ HintFormColor WRITE setHintFormColor)
    Q_PROPERTY(int HintOffsetX READ HintOffsetX WRITE setHintOffsetX)
    Q_PROPERTY(int HintOffsetY READ HintOffsetY WRITE setHintOffsetY)
    Q_PROPERTY(bool Transparent READ Transparent WRITE setTransparent)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(QColor Color READ Color WRITE setColor)
    Q_PROPERTY(QColor LinkColor READ LinkColor WRITE setLinkColor)

  public:
    enum TURLtype { tpURL = 0, tpMAIL = 1 };
    Q_ENUM(TURLtype)

    explicit TURLLink(QWidget* parent = nullptr);
    ~TURLLink() override;

    TURLtype URLType() const { return urlType_; }
    void setURLType(TURLtype value);
    QString Link() const { return link_; }
    void setLink(const QString& value);
    QFont HintFormFont() const { return *hintFont_; }
    // Copies the attributes; the control keeps its own font object.
    void setHintFormFont(const QFont& value);
    bool EnableShowHint() const { return enableShowHint_; }
    void setEnableShowHint(bool value);
    QColor HintFormColor() const { return hintColor_; }
    void setHintFormColor(const QColor& value);
    int HintOffsetX() const { return hintOffsetX_; }
    void setHintOffsetX(int value);
    int HintOffsetY() const { return hintOffsetY_; }
    void setHintOffsetY(int value);
    bool Transparent() const { return !autoFillBackground(); }
    void setTransparent(bool value);
    QString Caption() const { return text(); }
    void setCaption(const QString& value);
    QColor Color() const { return palette().color(QPalette::Window); }
    void setColor(const QColor& value);
    QColor LinkColor() const { return linkColor_; }
    void setLinkColor(const QColor& value);

    // The font colour (the label's text colour).
    QColor fontColor() const { return palette().color(QPalette::WindowText); }
    void setFontColor(const QColor& color);

    // Where a left click goes: "mailto:" + Link for a mail link, else Link.
    QString target() const;
    // Opens a target through the desktop; tests put a recorder in its place.
    using Opener = std::function<void(const QString&)>;
    void setOpener(Opener opener) { opener_ = std::move(opener); }

    bool hintVisible() const { return hintVisible_; }
    TURLHintForm& hintForm() { return *hint_; }

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void hideHint();
    // Stores value and repaints, only when it differs from what is there.
    template <typename T>
    void storeAndRepaint(T& field, const T& value) {
        if (field == value)
            return;
        field = value;
        update();
    }

    TURLtype urlType_ = tpURL;
    QString link_ = QStringLiteral("http://");
    std::unique_ptr<QFont> hintFont_;
    bool enableShowHint_ = true;
    QColor hintColor_;
    int hintOffsetX_ = 15;
    int hintOffsetY_ = 15;
    QColor linkColor_ = Qt::red;
    QColor savedColor_;
    std::unique_ptr<TURLHintForm> hint_;
    bool hintVisible_ = false;
    Opener opener_;
};
