// The About box and the link label.
#include <QEnterEvent>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include "app/Tolvane3.h"
#include "app/URLLink.h"
#include "app/maker.h"
#include "ui_Tolvane3.h"

namespace {

QString str(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

TEST(AboutBox, ShowsProductVersionRightsAndTheTwoLinks) {
    TTolvane3Form box;
    const Ui::TTolvane3Form& ui = box.ui();
    EXPECT_EQ(box.windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_EQ(box.font().family(), QStringLiteral("System"));
    EXPECT_EQ(box.font().pixelSize(), 13);
    // No button in the title bar, no resizing.
    EXPECT_FALSE(box.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(box.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(box.minimumSize(), box.maximumSize());

    EXPECT_EQ(ui.Product->text(), QStringLiteral("Mervik"));
    EXPECT_EQ(ui.Product->font().family(), QStringLiteral("Century"));
    EXPECT_TRUE(ui.Product->font().bold());
    EXPECT_EQ(ui.Product->font().pixelSize(), 19);
    // Set at creation: never the stored "Version 0.00".
    EXPECT_EQ(ui.Version->text(), QStringLiteral("Version 11.00"));
    EXPECT_TRUE(ui.Version->font().bold());
    EXPECT_EQ(ui.Version->font().pixelSize(), 15);
    EXPECT_EQ(ui.Copyright->text(), str(mervik::maker::kRightsNotice));
    EXPECT_TRUE(ui.Copyright->text().contains(QStringLiteral("2023")));
    EXPECT_EQ(ui.Copyright->font().pixelSize(), 15);
    EXPECT_TRUE(ui.ProgramIcon->hasScaledContents());
    EXPECT_FALSE(ui.ProgramIcon->pixmap().isNull());

    EXPECT_EQ(ui.URLLink2->URLType(), TURLLink::tpMAIL);
    EXPECT_EQ(ui.URLLink2->Link(), str(mervik::maker::kSupportMail));
    EXPECT_EQ(ui.URLLink2->text(), QStringLiteral("mailto:") + str(mervik::maker::kSupportMail));
    EXPECT_EQ(ui.URLLink1->URLType(), TURLLink::tpURL);
    EXPECT_EQ(ui.URLLink1->Link(), str(mervik::maker::kWebSite));
    EXPECT_EQ(ui.URLLink1->text(), str(mervik::maker::kWebSite));
    EXPECT_LT(ui.URLLink2->y(), ui.URLLink1->y());  // mail above web
    for (const TURLLink* link : {ui.URLLink1, ui.URLLink2}) {
        EXPECT_EQ(link->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        EXPECT_EQ(link->font().pixelSize(), 16);
        EXPECT_EQ(link->fontColor(), QColor(Qt::blue));
        EXPECT_EQ(link->LinkColor(), QColor(Qt::red));
        EXPECT_FALSE(link->EnableShowHint());
        EXPECT_EQ(link->HintFormFont().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        EXPECT_EQ(link->HintFormFont().pixelSize(), 12);
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    }

    EXPECT_EQ(ui.ButtonOK->text(), QStringLiteral("了解"));
    EXPECT_TRUE(ui.ButtonOK->isDefault());
}

TEST(AboutBox, EnterAndOkCloseItEscapeDoesNothing) {
    TTolvane3Form box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_TRUE(box.isVisible());
    box.close();  // the window system's close, too
    EXPECT_TRUE(box.isVisible());
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);

    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.ui().ButtonOK, Qt::LeftButton);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

// ---------------------------------------------------------------- link label

namespace {

struct Opened {
    QStringList targets;
    TURLLink::Opener opener() {
        return [this](const QString& t) { targets << t; };
    }
};

void enter(TURLLink& link) {
    QEnterEvent e(QPointF(2, 2), link.mapToGlobal(QPointF(2, 2)), link.mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(&link, &e);
}

void leave(TURLLink& link) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(&link, &e);
}

class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

}  // namespace

TEST(URLLink, StartsWithItsDeclaredValues) {
    TURLLink link;
    EXPECT_EQ(link.URLType(), TURLLink::tpURL);
    EXPECT_EQ(link.Link(), QStringLiteral("http://"));
    EXPECT_TRUE(link.EnableShowHint());
    EXPECT_EQ(link.HintFormColor(), QToolTip::palette().color(QPalette::ToolTipBase));
    EXPECT_EQ(link.HintOffsetX(), 15);
    EXPECT_EQ(link.HintOffsetY(), 15);
    EXPECT_EQ(link.LinkColor(), QColor(Qt::red));
    EXPECT_EQ(link.fontColor(), QColor(Qt::blue));
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(link.hintVisible());
    // The properties are visible to the form designer by these names.
    for (const char* name :
         {"URLType", "Link", "HintFormFont", "EnableShowHint", "HintFormColor", "HintOffsetX",
          "HintOffsetY", "Transparent", "Caption", "Color", "LinkColor"})
        EXPECT_GE(link.metaObject()->indexOfProperty(name), 0) << name;
    // Form-stored values arrive as text for the enumeration.
    link.setProperty("URLType", QStringLiteral("tpMAIL"));
    EXPECT_EQ(link.URLType(), TURLLink::tpMAIL);
}

TEST(URLLink, LeftClickOpensMailOrAddressOtherButtonsNothing) {
    TURLLink mail;
    Opened opened;
    mail.setOpener(opened.opener());
    mail.setURLType(TURLLink::tpMAIL);
    mail.setLink(QStringLiteral("help@example.org"));
    mail.setText(QStringLiteral("mailto:help@example.org"));
    mail.resize(200, 20);
    mail.show();
    QTest::mouseClick(&mail, Qt::RightButton);
    QTest::mouseClick(&mail, Qt::MiddleButton);
    EXPECT_TRUE(opened.targets.isEmpty());
    QTest::mouseClick(&mail, Qt::LeftButton);
    EXPECT_EQ(opened.targets, QStringList{QStringLiteral("mailto:help@example.org")});

    TURLLink web;
    web.setOpener(opened.opener());
    web.setLink(QStringLiteral("https://example.org/a?b=c"));
    web.resize(200, 20);
    web.show();
    QTest::mouseClick(&web, Qt::LeftButton);
    EXPECT_EQ(opened.targets.last(), QStringLiteral("https://example.org/a?b=c"));
}

TEST(URLLink, HoverTakesLinkColourAndLeavingRestoresWhateverWasBefore) {
    TURLLink link;
    link.setText(QStringLiteral("x"));
    link.setFontColor(QColor(0, 128, 0));
    link.setLinkColor(QColor(200, 0, 200));
    enter(link);
    EXPECT_EQ(link.fontColor(), QColor(200, 0, 200));
    leave(link);
    EXPECT_EQ(link.fontColor(), QColor(0, 128, 0));
}

TEST(URLLink, HintComesUpBesideTheMouseStaysThereAndGoesWhenLeaving) {
    TURLLink link;
    link.setOpener([](const QString&) {});
    link.setLink(QStringLiteral("help@example.org"));
    link.setURLType(TURLLink::tpMAIL);
    link.setText(QStringLiteral("mailto:help@example.org"));
    link.resize(300, 24);
    link.move(100, 100);
    link.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&link));
    enter(link);
    QTest::mouseMove(&link, QPoint(10, 5));
    ASSERT_TRUE(link.hintVisible());
    const QPoint mouse = link.mapToGlobal(QPoint(10, 5));
    TURLHintForm& hint = link.hintForm();
    EXPECT_TRUE(hint.isVisible());
    EXPECT_EQ(hint.pos(), mouse + QPoint(15, 15));
    EXPECT_EQ(hint.text(), QStringLiteral("help@example.org"));  // the address, not the caption
    EXPECT_TRUE(hint.testAttribute(Qt::WA_ShowWithoutActivating));
    const QFontMetrics fm(link.HintFormFont());
    EXPECT_EQ(hint.width(), fm.horizontalAdvance(QStringLiteral("help@example.org")) + 6);
    EXPECT_EQ(hint.height(), fm.height() + 3);

    QTest::mouseMove(&link, QPoint(120, 12));
    EXPECT_EQ(hint.pos(), mouse + QPoint(15, 15));  // does not follow

    leave(link);
    EXPECT_FALSE(link.hintVisible());
    EXPECT_FALSE(hint.isVisible());

    // Other offsets, and a left click hides it too.
    link.setHintOffsetX(-5);
    link.setHintOffsetY(30);
    enter(link);
    QTest::mouseMove(&link, QPoint(40, 6));
    EXPECT_EQ(hint.pos(), link.mapToGlobal(QPoint(40, 6)) + QPoint(-5, 30));
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(40, 6));
    EXPECT_FALSE(hint.isVisible());
}

TEST(URLLink, NoHintWhenDisabled) {
    TURLLink link;
    link.setEnableShowHint(false);
    link.resize(100, 20);
    link.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&link));
    enter(link);
    QTest::mouseMove(&link, QPoint(10, 5));
    QTest::mouseMove(&link, QPoint(20, 5));
    EXPECT_FALSE(link.hintVisible());
    EXPECT_FALSE(link.hintForm().isVisible());
}

TEST(URLLink, SettersRepaintOnlyOnAChange) {
    TURLLink link;
    link.setText(QStringLiteral("label"));
    link.resize(100, 20);
    link.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&link));
    QTest::qWait(20);
    PaintCounter counter(&link);
    link.setLink(link.Link());
    link.setURLType(link.URLType());
    link.setHintOffsetX(link.HintOffsetX());
    link.setHintOffsetY(link.HintOffsetY());
    link.setEnableShowHint(link.EnableShowHint());
    link.setHintFormColor(link.HintFormColor());
    link.setHintFormFont(link.HintFormFont());
    link.setLinkColor(link.LinkColor());
    link.setCaption(link.Caption());
    link.setTransparent(link.Transparent());
    link.setColor(link.Color());
    QTest::qWait(30);
    EXPECT_EQ(counter.paints, 0);

    link.setHintOffsetX(3);
    QTest::qWait(30);
    EXPECT_GT(counter.paints, 0);
    const int after = counter.paints;
    link.setLink(QStringLiteral("https://example.org/"));
    QTest::qWait(30);
    EXPECT_GT(counter.paints, after);

    // The hint font is copied into the control's own font.
    QFont f(QStringLiteral("Carlito"));
    f.setPixelSize(21);
    link.setHintFormFont(f);
    f.setPixelSize(9);
    EXPECT_EQ(link.HintFormFont().pixelSize(), 21);
}

// ---------------------------------------------------------------- fonts

TEST(Fonts, TheFormsFontNamesFindTheirStandIns) {
    // registerFontSubstitutes ran in main; the fonts come from setup-debian.sh.
    const auto resolved = [](const QString& family) {
        QFont f(family);
        f.setPixelSize(16);
        return QFontInfo(f).family();
    };
    EXPECT_EQ(resolved(QStringLiteral("Calibri")), QStringLiteral("Carlito"));
    EXPECT_TRUE(resolved(QStringLiteral("Century")).startsWith(QStringLiteral("C059")));
    EXPECT_EQ(resolved(QStringLiteral("Courier")), QStringLiteral("Liberation Mono"));
    EXPECT_TRUE(resolved(QStringLiteral("ＭＳ Ｐゴシック")).startsWith(QStringLiteral("IPA")));
    EXPECT_TRUE(resolved(QStringLiteral("System")).startsWith(QStringLiteral("IPA")));
}
