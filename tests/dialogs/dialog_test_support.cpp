#include "dialog_test_support.h"

#include <QTimer>
#include <filesystem>

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
