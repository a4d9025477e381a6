// The About box: product, version, rights notice and the maker's two links.
#pragma once

#include <QDialog>

#include <memory>

QT_BEGIN_NAMESPACE
namespace Ui {
class TTolvane3Form;
}
QT_END_NAMESPACE

class TTolvane3Form : public QDialog {
    Q_OBJECT

  public:
    explicit TTolvane3Form(QWidget* parent = nullptr);
    ~TTolvane3Form() override;

    const Ui::TTolvane3Form& ui() const { return *ui_; }

  public slots:
    void ButtonOKClick();
    // No cancel button: Escape and the window system's close do nothing.
    void reject() override {}

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormCreate();

    std::unique_ptr<Ui::TTolvane3Form> ui_;
};
