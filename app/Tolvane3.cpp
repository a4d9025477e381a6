#include "app/Tolvane3.h"

#include <string>

#include "app/form_setup.h"
#include "app/maker.h"
#include "settings/Tolvane1.h"
#include "ui_Tolvane3.h"

namespace {
QString fromBytes(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
constexpr int kHintFontPixels = 12;
}  // namespace

TTolvane3Form::TTolvane3Form(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TTolvane3Form>()) {
    mervik::initResources();
    ui_->setupUi(this);
    mervik::applyPixelFonts(this);
    // Fixed dialog frame without any title-bar button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(size());
    for (TURLLink* link : {ui_->URLLink1, ui_->URLLink2}) {
        QFont hint = link->HintFormFont();
        hint.setPixelSize(kHintFontPixels);
        link->setHintFormFont(hint);
    }
    connect(ui_->ButtonOK, &QPushButton::clicked, this, &TTolvane3Form::ButtonOKClick);
    FormCreate();
}

TTolvane3Form::~TTolvane3Form() = default;

void TTolvane3Form::FormCreate() {
    ui_->Version->setText(fromBytes(mervik::ParFileVersion));
    ui_->Copyright->setText(fromBytes(mervik::maker::kRightsNotice));
    const QString mail = fromBytes(mervik::maker::kSupportMail);
    ui_->URLLink2->setLink(mail);
    ui_->URLLink2->setCaption(QStringLiteral("mailto:") + mail);
    const QString web = fromBytes(mervik::maker::kWebSite);
    ui_->URLLink1->setLink(web);
    ui_->URLLink1->setCaption(web);
}

void TTolvane3Form::ButtonOKClick() {
    accept();
}

void TTolvane3Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    mervik::centreOnScreen(this);
}
