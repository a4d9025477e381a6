#include <QGroupBox>
#include <QLabel>

#include "tests/dialogs/dialog_test_support.h"

namespace mervik::test {
namespace {

constexpr const char* kEdits[] = {"EditHpglFileExt", "EditImageFileExt", "EditPdfFileExt",
                                  "EditEmfFileExt",  "EditDxfFileExt",   "EditDwgFileExt",
                                  "EditIgesFileExt", "EditGerberFileExt"};

std::vector<std::string> lists(const TSettings& s) {
    return {s.sHpglFileExt, s.sImageFileExt, s.sPdfFileExt,  s.sEmfFileExt,
            s.sDxfFileExt,  s.sDwgFileExt,   s.sIgesFileExt, s.sGerberFileExt};
}

class SetInputFileTest : public ::testing::Test {
  protected:
    TempRoot root;
    TSettings settings;
    TSetinputFileDlg dialog{settings};
};

TEST(RemoveBlanks, OnlyTheSpaceCharacterGoes) {
    EXPECT_EQ(RemoveBlanks(" hgl ; hpg "), "hgl;hpg");
    EXPECT_EQ(RemoveBlanks("a\tb"), "a\tb");
    EXPECT_EQ(RemoveBlanks("  "), "");
    EXPECT_EQ(RemoveBlanks(".PDF ;Tif"), ".PDF;Tif");
}

TEST_F(SetInputFileTest, ShowingFillsEachEditFromItsList) {
    settings.sHpglFileExt = "h1";
    settings.sImageFileExt = "i2 ; x";
    settings.sPdfFileExt = "p3";
    settings.sEmfFileExt = "e4";
    settings.sDxfFileExt = "";
    settings.sDwgFileExt = "w6";
    settings.sIgesFileExt = "g7";
    settings.sGerberFileExt = "b8";
    dialog.show();
    std::vector<std::string> shown;
    for (const char* edit : kEdits) {
        shown.push_back(editText(dialog, edit));
    }
    EXPECT_EQ(shown, lists(settings));
}

TEST_F(SetInputFileTest, OkStoresEachEditIntoItsListWithoutBlanks) {
    dialog.show();
    const std::vector<std::string> typed = {" hgl ; hpg ", "TIF;Png", ".pdf",  "",
                                            "hgl;;hpg",    "dwg ",    "i g s", "gbr;cmt"};
    for (std::size_t i = 0; i < typed.size(); ++i) {
        setEdit(dialog, kEdits[i], typed[i]);
    }
    click(dialog, "OKBtn");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const std::vector<std::string> expected = {"hgl;hpg",  "TIF;Png", ".pdf", "",
                                               "hgl;;hpg", "dwg",     "igs",  "gbr;cmt"};
    EXPECT_EQ(lists(settings), expected);
    EXPECT_EQ(settings.sSxfFileExt, "p21;sfc");
    // The stored lists decide the input type at once.
    // The emptied EMF list is the first to accept a name without extension.
    EXPECT_EQ(GetInputFileType("/in/plan", settings), ftEmf);
    EXPECT_EQ(GetInputFileType("/in/a.pdf", settings), ftUnknown);
    EXPECT_EQ(GetInputFileType("/in/a.cmt", settings), ftGerber);
}

TEST_F(SetInputFileTest, CancelStoresNothingAndTheNextShowingRefills) {
    const TSettings before = settings;
    dialog.show();
    setEdit(dialog, "EditPdfFileExt", "xyz");
    click(dialog, "CancelBtn");
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(settings, before);
    dialog.show();
    EXPECT_EQ(editText(dialog, "EditPdfFileExt"), "pdf");

    setEdit(dialog, "EditPdfFileExt", "xyz");
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(settings, before);
}

TEST_F(SetInputFileTest, EnterPressesOk) {
    dialog.show();
    setEdit(dialog, "EditHpglFileExt", "plt");
    QTest::keyClick(child(dialog, "EditHpglFileExt"), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.sHpglFileExt, "plt");
}

TEST_F(SetInputFileTest, TabOrderPutsTheDwgEditLast) {
    dialog.show();
    QWidget* widget = child(dialog, kEdits[0]);
    std::vector<std::string> order;
    for (int i = 0; i < 8; ++i) {
        order.push_back(widget->objectName().toStdString());
        widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus)) {
            widget = widget->nextInFocusChain();
        }
    }
    const std::vector<std::string> expected = {
        "EditHpglFileExt", "EditImageFileExt", "EditPdfFileExt",    "EditEmfFileExt",
        "EditDxfFileExt",  "EditIgesFileExt",  "EditGerberFileExt", "EditDwgFileExt"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(widget->objectName(), QStringLiteral("OKBtn"));
}

TEST_F(SetInputFileTest, CaptionsAndHelpLinesAsWritten) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Input file extension setting"));
    EXPECT_EQ(child<QGroupBox>(dialog, "GroupBox1")->title(),
              QStringLiteral("Input file extension setting"));
    EXPECT_EQ(child<QLabel>(dialog, "Label2")->text(),
              QStringLiteral("Image drawing file(TIFF,Bitmap,JPEG,GIF,FPX,PCX.PNG)"));
    EXPECT_EQ(child<QLabel>(dialog, "Label9")->text(),
              QStringLiteral("Note: \".\" is not required."));
    EXPECT_EQ(child<QLabel>(dialog, "Label10")->text(),
              QStringLiteral("When specifying multiple extensions, separate the extensions "
                             "with \";\".     Ex. hgl;prn;hpg"));
    EXPECT_EQ(child<QLabel>(dialog, "Label11")->text(),
              QStringLiteral(
                  "If there is no extension character, there is no extension.   Ex. hgl;;hpg"));
    EXPECT_TRUE(child<QPushButton>(dialog, "OKBtn")->isDefault());
}

}  // namespace
}  // namespace mervik::test
