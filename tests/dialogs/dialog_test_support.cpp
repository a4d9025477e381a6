#include "tests/dialogs/dialog_test_support.h"

#include <QTimer>
#include <filesystem>

#include "dialogs/folder_tree.h"

namespace mervik::test {

class ModalDriver::Watcher : public QTimer {
  public:
    using QTimer::QTimer;
};

ModalDriver::ModalDriver(std::function<void(QWidget*)> action)
    : action_(std::move(action)), before_(QApplication::activeModalWidget()) {
    watcher_ = new ModalDriver::Watcher;
    watcher_->setInterval(5);
    QObject::connect(watcher_, &QTimer::timeout, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == before_ || ran_) {
            return;
        }
        ran_ = true;
        watcher_->stop();
        action_(modal);
        // Whatever the action left open would block the test for good.
        if (QApplication::activeModalWidget() == modal) {
            ADD_FAILURE() << "the modal dialog was left open";
            modal->close();
        }
    });
    watcher_->start();
}

ModalDriver::~ModalDriver() {
    delete watcher_;
}

void setEdit(QWidget& parent, const char* name, const std::string& text) {
    QLineEdit* edit = child(parent, name);
    edit->clear();
    QTest::keyClicks(edit, qs(text));
}

std::string editText(QWidget& parent, const char* name) {
    return child(parent, name)->text().toStdString();
}

void click(QWidget& parent, const char* button) {
    QTest::mouseClick(child<QPushButton>(parent, button), Qt::LeftButton);
}

FirstComparison::FirstComparison(const TempRoot& root, const std::string& pairName)
    : sandrel(root / "Corvanta/Sandrel/sandrel"),
      tolvane(root / "Corvanta/Tolvane/tolvane"),
      in1(root / "HpglData/InData1/"),
      in2(root / "HpglData/InData2/"),
      out(root / "HpglData/OutData/"),
      init(root / "Init"),
      localAppData(root / "home/.local/share") {
    namespace fs = std::filesystem;
    for (const std::string& folder :
         {fs::path(sandrel).parent_path().string(), fs::path(tolvane).parent_path().string(), in1,
          in2, out, init}) {
        fs::create_directories(folder);
    }
    for (const std::string& program : {sandrel, tolvane}) {
        fs::copy_file(FAKE_SIBLING_PATH, program, fs::copy_options::overwrite_existing);
        fs::permissions(program, fs::perms::owner_all, fs::perm_options::add);
    }
    writeFile(init + "/Mervik.par", formatParFile(TSettings{}));
    writeFile(in1 + pairName, "pages=3\n");
    writeFile(in2 + pairName, "pages=3\n");
    setWarningHook([this](const std::string& text) { warnings.push_back(text); });
}

FirstComparison::~FirstComparison() {
    setWarningHook({});
}

std::string FirstComparison::parFileFor(const std::string& pdfList, int waitSeconds,
                                        const std::string& pattern) const {
    const std::vector<std::string> lines = {"Version 11.00",
                                            "hgl",
                                            "tif",
                                            pdfList,
                                            "emf",
                                            "dxf",
                                            "dwg",
                                            "igs",
                                            "gbr",
                                            sandrel,
                                            tolvane,
                                            out,
                                            std::to_string(waitSeconds),
                                            in1 + pattern,
                                            in2,
                                            "0"};
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

void pickFolder(QWidget& form, const char* button, TFolderOpenForm& dialog,
                const std::string& folder) {
    ModalDriver pick([&](QWidget*) {
        dialog.folderView().SelectPath(qs(folder));
        click(dialog, "ButtonOK");
    });
    click(form, button);
    EXPECT_TRUE(pick.ran()) << button;
}

void DialogTest::SetUp() {
    setWarningHook([this](const std::string& text) { warnings.push_back(text); });
    for (const char* folder : {"bin", "in1", "in2", "out"}) {
        std::filesystem::create_directories(path(folder));
    }
    writeFile(path("bin/sandrel"), "");
    writeFile(path("bin/tolvane"), "");
    form.show();
}

void DialogTest::TearDown() {
    form.hide();
    setWarningHook({});
}

std::string DialogTest::warning(std::string_view message, const std::string& field) {
    return std::string(message) + '\r' + field + '\r' +
           std::string(mervik::message(Msg::registerWithSet));
}

void DialogTest::fillValid() {
    setEdit(form, "SandrelExeEdit", path("bin/sandrel"));
    setEdit(form, "TolvaneExeEdit", path("bin/tolvane"));
    setEdit(form, "sChgAreaDir1Edit", path("in1/*.pdf"));
    setEdit(form, "sChgAreaDir2Edit", path("in2/"));
    setEdit(form, "sOutDirEdit", path("out/"));
}

}  // namespace mervik::test

int main(int argc, char** argv) {
    // Discovery runs the program outside CTest's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
