#include "app/setup_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <exception>
#include <utility>

#include "app/byte_text.h"
#include "app/gauge.h"
#include "app/icons.h"
#include "app/main_window.h"
#include "app/widgets.h"
#include "app/window_font.h"
#include "shell/context.h"
#include "shell/host_services.h"
#include "shell/setup_actions.h"

namespace kstbell {
namespace {

constexpr int kTextPixels = 11;     // labels, radio buttons, the check box
constexpr int kCaptionPixels = 12;  // group captions and edit texts, bold

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int left, int top) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromUtf8(caption));
    // The group's bold caption font would otherwise pass on to its controls.
    label->setFont(Tahoma(kTextPixels));
    label->move(left, top);
    label->adjustSize();
    return label;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const char* caption, QRect place) {
    auto* group = new TGroupBox(QString::fromUtf8(caption), parent);
    group->setObjectName(QString::fromUtf8(name));
    group->setFont(Tahoma(kCaptionPixels, true));
    group->setGeometry(place);
    return group;
}

}  // namespace

TForm2::TForm2(TContext& ctx, IHostServices& host, QWidget* parent)
    : QDialog(parent), ctx_(ctx), host_(host) {
    setObjectName(QStringLiteral("Form2"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    MakeFixedWhiteForm(this, kSetupClientWidth, kSetupClientHeight, kSetupWindowCaption,
                       Tahoma(kTextPixels));

    BuildControls();
    ConnectControls();
    RunHandler([this] { SetupFormCreate(ctx_); });
}

TForm2::~TForm2() = default;

QLineEdit* TForm2::MakeEdit(QWidget* parent, const char* name, TEditState TSetupWindowState::*state,
                            QRect place) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromUtf8(name));
    edit->setFont(Tahoma(kCaptionPixels, true));
    edit->setGeometry(place);
    edits_.push_back({edit, state, std::string()});
    return edit;
}

TPictureButton* TForm2::MakeApplyImage(QWidget* parent, const char* name, const char* what,
                                       int left, int top) {
    auto* image = new TPictureButton(parent, PictureIcon(DrawCheckMarkPicture()));
    image->setObjectName(QString::fromUtf8(name));
    const QString hint = QStringLiteral("Apply ") + QString::fromUtf8(what);
    Describe(
        image, hint, hint,
        QStringLiteral("Writes the ") + QString::fromUtf8(what) + QStringLiteral(" to the device"));
    image->setGeometry(left, top, kPictureSize, kPictureSize);
    return image;
}

QRadioButton* TForm2::MakeRadio(QWidget* parent, const char* name, const char* caption, int left,
                                int top) {
    auto* radio = new QRadioButton(QString::fromUtf8(caption), parent);
    radio->setObjectName(QString::fromUtf8(name));
    radio->setFont(Tahoma(kTextPixels));
    radio->move(left, top);
    radio->adjustSize();
    return radio;
}

void TForm2::AddRadioGroup(std::vector<TRadioBinding> buttons) {
    TRadioGroup group;
    group.Group = new QButtonGroup(this);
    group.Group->setExclusive(true);
    for (const TRadioBinding& binding : buttons)
        group.Group->addButton(binding.Button);
    group.Buttons = std::move(buttons);
    radioGroups_.push_back(std::move(group));
}

void TForm2::BuildControls() {
    // Created back to front where places overlap: the left column from the top, then the
    // right column, the bottom row and the gauge last.
    BuildApGroup();
    BuildWebGroup();
    BuildModbusGroup();
    BuildLocationGroup();
    BuildStationGroup();
    BuildWifiModeGroup();
    BuildBottomRow();
}

void TForm2::BuildApGroup() {
    groupBox1_ = MakeGroup(this, "GroupBox1", "AP ", {2, -1, 348, 123});
    MakeLabel(groupBox1_, "Label1", "SSID Name:", 16, 24);
    MakeEdit(groupBox1_, "Edit1", &TSetupWindowState::Edit1, {95, 22, 242, 22});
    MakeLabel(groupBox1_, "Label3", "Key Type:", 16, 55);
    auto* open = MakeRadio(groupBox1_, "RadioButton1", "Open", 95, 54);
    auto* wpa = MakeRadio(groupBox1_, "RadioButton2", "WPA/WPA2", 178, 54);
    AddRadioGroup(
        {{open, &TSetupWindowState::RadioButton1}, {wpa, &TSetupWindowState::RadioButton2}});
    MakeLabel(groupBox1_, "Label2", "SSID Key:", 16, 84);
    MakeEdit(groupBox1_, "Edit2", &TSetupWindowState::Edit2, {95, 81, 175, 22});
    image2_ = MakeApplyImage(groupBox1_, "Image2", "AP settings", 308, 79);
}

void TForm2::BuildWebGroup() {
    groupBox4_ = MakeGroup(this, "GroupBox4", "WEB", {2, 119, 348, 60});
    // The group is shown disabled, its caption in silver.
    QPalette silver = groupBox4_->palette();
    silver.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0xC0, 0xC0, 0xC0));
    groupBox4_->setPalette(silver);
    MakeLabel(groupBox4_, "Label7", "Login Key:", 16, 26);
    MakeEdit(groupBox4_, "Edit6", &TSetupWindowState::Edit6, {95, 24, 175, 22});
    image5_ = MakeApplyImage(groupBox4_, "Image5", "WEB key", 308, 23);
}

void TForm2::BuildModbusGroup() {
    groupBox6_ = MakeGroup(this, "GroupBox6", "Modbus TCP", {2, 173, 348, 66});
    MakeLabel(groupBox6_, "Label9", "Port:", 16, 18);
    MakeEdit(groupBox6_, "Edit7", &TSetupWindowState::Edit7, {95, 16, 90, 22});
    MakeLabel(groupBox6_, "Label19", "Idle Timeout:", 17, 36);
    MakeEdit(groupBox6_, "Edit12", &TSetupWindowState::Edit12, {95, 37, 90, 22});
    image9_ = MakeApplyImage(groupBox6_, "Image9", "Modbus TCP settings", 308, 23);
}

void TForm2::BuildLocationGroup() {
    groupBox3_ = MakeGroup(this, "GroupBox3", "Location", {2, 231, 348, 67});
    MakeLabel(groupBox3_, "Label8", "String:", 16, 26);
    MakeEdit(groupBox3_, "Edit5", &TSetupWindowState::Edit5, {95, 24, 202, 22});
    image6_ = MakeApplyImage(groupBox3_, "Image6", "location", 308, 23);
}

void TForm2::BuildStationGroup() {
    groupBox2_ = MakeGroup(this, "GroupBox2", "Station", {351, -1, 348, 258});
    MakeLabel(groupBox2_, "Label4", "SSID Name:", 16, 22);
    MakeEdit(groupBox2_, "Edit3", &TSetupWindowState::Edit3, {95, 21, 242, 22});
    MakeLabel(groupBox2_, "Label5", "Key Type:", 16, 53);
    auto* open = MakeRadio(groupBox2_, "RadioButton3", "Open", 95, 54);
    auto* wep = MakeRadio(groupBox2_, "RadioButton4", "WEP", 178, 54);
    auto* wpa = MakeRadio(groupBox2_, "RadioButton5", "WPA/WPA2", 257, 54);
    AddRadioGroup({{open, &TSetupWindowState::RadioButton3},
                   {wep, &TSetupWindowState::RadioButton4},
                   {wpa, &TSetupWindowState::RadioButton5}});
    MakeLabel(groupBox2_, "Label6", "SSID Key:", 16, 84);
    MakeEdit(groupBox2_, "Edit4", &TSetupWindowState::Edit4, {95, 81, 175, 22});
    image3_ = MakeApplyImage(groupBox2_, "Image3", "station settings", 308, 79);

    checkBox1_ = new QCheckBox(QStringLiteral("Static IP"), groupBox2_);
    checkBox1_->setObjectName(QStringLiteral("CheckBox1"));
    checkBox1_->setFont(Tahoma(kTextPixels));
    checkBox1_->setToolTip(QStringLiteral("Static IP, only Station mode"));
    checkBox1_->move(16, 120);
    checkBox1_->adjustSize();

    panel1_ = new QFrame(groupBox2_);
    panel1_->setObjectName(QStringLiteral("Panel1"));
    panel1_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel1_->setGeometry(5, 143, 340, 104);
    panel1_->setFont(Tahoma(kTextPixels));
    QPalette light = panel1_->palette();
    light.setColor(QPalette::Window, ToQColor(cl3DLight));
    panel1_->setPalette(light);
    panel1_->setAutoFillBackground(true);

    label10_ = MakeLabel(panel1_, "Label10", "IP:", 23, 15);
    MakeEdit(panel1_, "Edit8", &TSetupWindowState::Edit8, {90, 12, 175, 24})
        ->setToolTip(QStringLiteral("Station mode Static IP"));
    label11_ = MakeLabel(panel1_, "Label11", "Net mask:", 23, 45);
    MakeEdit(panel1_, "Edit9", &TSetupWindowState::Edit9, {90, 43, 175, 22})
        ->setToolTip(QStringLiteral("Station mode Subnet mask"));
    label12_ = MakeLabel(panel1_, "Label12", "Gate way:", 23, 74);
    MakeEdit(panel1_, "Edit10", &TSetupWindowState::Edit10, {90, 72, 175, 22})
        ->setToolTip(QStringLiteral("Station mode Gateway"));
    image10_ = MakeApplyImage(panel1_, "Image10", "static IP", 303, 41);
}

void TForm2::BuildWifiModeGroup() {
    groupBox5_ = MakeGroup(this, "GroupBox5", "WiFi Mode ", {351, 249, 348, 49});
    auto* ap = MakeRadio(groupBox5_, "RadioButton6", "AP ", 95, 20);
    auto* station = MakeRadio(groupBox5_, "RadioButton7", "Station", 178, 20);
    AddRadioGroup(
        {{ap, &TSetupWindowState::RadioButton6}, {station, &TSetupWindowState::RadioButton7}});
    image4_ = MakeApplyImage(groupBox5_, "Image4", "Wi-Fi mode", 308, 13);
}

void TForm2::BuildBottomRow() {
    auto makeAction = [this](const char* name, const char* words, int left) {
        auto* image =
            new TPictureButton(this, PictureIcon(DrawActionPicture(QString::fromUtf8(words))));
        image->setObjectName(QString::fromUtf8(name));
        image->setIconSize(QSize(kActionPictureWidth, kActionPictureHeight));
        image->setGeometry(left, 304, kActionPictureWidth, kActionPictureHeight);
        return image;
    };
    image7_ = makeAction("Image7", "Reset to Default", 44);
    image1_ = makeAction("Image1", "Update F/W", 270);
    image8_ = makeAction("Image8", "Reboot device", 496);
    Describe(image7_, QStringLiteral("Reset to Default"), QStringLiteral("Reset to Default"),
             QStringLiteral("Returns the device to its factory settings; it restarts at once"));
    Describe(image1_, QStringLiteral("Update F/W"), QStringLiteral("Update F/W"),
             QStringLiteral("Uploads a firmware image to the device"));
    Describe(image8_, QStringLiteral("Reboot"), QStringLiteral("Reboot device"),
             QStringLiteral("Restarts the device"));

    cGauge1_ = new TGauge(this);
    cGauge1_->setObjectName(QStringLiteral("CGauge1"));
    cGauge1_->setGeometry(0, 342, kSetupClientWidth, 9);
}

void TForm2::ConnectControls() {
    // What the operator types goes into the window state at once.
    for (std::size_t i = 0; i < edits_.size(); ++i) {
        connect(edits_[i].Edit, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            TEditBinding& binding = edits_[i];
            binding.Shown = ToBytes(text);
            (ctx_.Form2.*binding.State).Text = binding.Shown;
        });
    }
    for (std::size_t i = 0; i < radioGroups_.size(); ++i) {
        connect(radioGroups_[i].Group, &QButtonGroup::buttonToggled, this,
                [this, i](QAbstractButton* button, bool checked) {
                    if (checked) WriteBackRadioGroup(radioGroups_[i], button);
                });
    }
    // clicked comes from the operator only, never from setting the check state in Render.
    connect(checkBox1_, &QCheckBox::clicked, this,
            [this](bool checked) { CheckBox1Click(checked); });

    const std::pair<TPictureButton*, void (TForm2::*)()> images[] = {
        {image2_, &TForm2::Image2Click},   {image3_, &TForm2::Image3Click},
        {image10_, &TForm2::Image10Click}, {image5_, &TForm2::Image5Click},
        {image6_, &TForm2::Image6Click},   {image9_, &TForm2::Image9Click},
        {image4_, &TForm2::Image4Click},   {image7_, &TForm2::Image7Click},
        {image1_, &TForm2::Image1Click},   {image8_, &TForm2::Image8Click},
    };
    for (const auto& [image, handler] : images) {
        connect(image, &QAbstractButton::clicked, this,
                [this, method = handler] { (this->*method)(); });
    }
}

void TForm2::WriteBackRadioGroup(const TRadioGroup& group, const QAbstractButton* checked) {
    for (const TRadioBinding& binding : group.Buttons)
        ctx_.Form2.*binding.State = binding.Button == checked;
}

void TForm2::RenderRadioGroup(TRadioGroup& group) {
    const TSetupWindowState& s = ctx_.Form2;
    QRadioButton* chosen = nullptr;
    for (const TRadioBinding& binding : group.Buttons) {
        if (s.*binding.State) {
            chosen = binding.Button;
            break;
        }
    }
    if (chosen != nullptr && chosen->isChecked()) return;
    const QSignalBlocker block(group.Group);
    if (chosen != nullptr) {
        chosen->setChecked(true);
        return;
    }
    // None chosen: an exclusive group cannot uncheck its last button by itself.
    group.Group->setExclusive(false);
    for (const TRadioBinding& binding : group.Buttons)
        binding.Button->setChecked(false);
    group.Group->setExclusive(true);
}

void TForm2::Render() {
    const TSetupWindowState& s = ctx_.Form2;

    for (TEditBinding& binding : edits_) {
        const TEditState& edit = s.*binding.State;
        if (!editsShown_ || edit.Text != binding.Shown) {
            binding.Shown = edit.Text;
            binding.Edit->setText(FromBytes(edit.Text));
        }
        binding.Edit->setEnabled(edit.Enabled);
    }
    editsShown_ = true;

    for (TRadioGroup& group : radioGroups_)
        RenderRadioGroup(group);
    {
        const QSignalBlocker block(checkBox1_);
        if (checkBox1_->isChecked() != s.CheckBox1) checkBox1_->setChecked(s.CheckBox1);
    }
    label10_->setEnabled(s.Label10Enabled);
    label11_->setEnabled(s.Label11Enabled);
    label12_->setEnabled(s.Label12Enabled);

    groupBox4_->setEnabled(s.GroupBox4Enabled);
    image5_->setVisible(s.Image5Visible);
    groupBox6_->setVisible(s.GroupBox6Visible);

    // While a commit or action runs, the images that start one are greyed: the core refuses
    // their clicks then anyway.
    for (TPictureButton* image : {image2_, image3_, image10_, image5_, image6_, image9_, image4_,
                                  image7_, image1_, image8_})
        image->setEnabled(!s.Busy);

    const TGaugeState& gauge = s.CGauge1;
    cGauge1_->SetState(gauge.MinValue, gauge.MaxValue, gauge.Progress, ToQColor(gauge.ForeColor));
}

void TForm2::RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowErrorBox(host_, e.what());
    } catch (...) {
        ShowErrorBox(host_, std::string());
    }
    Render();
    Q_EMIT HandlerFinished();
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Each opening shows the device's configuration afresh. A window-system show (restored
    // after minimising) keeps what the operator has typed.
    if (!event->spontaneous()) FormActivate();
}

void TForm2::done(int result) {
    // Every way of closing ends here: the close button, Esc, or a call of accept or reject.
    if (isVisible() && !closing_) {
        closing_ = true;
        FormClose();
        closing_ = false;
    }
    QDialog::done(result);
}

void TForm2::FormActivate() {
    RunHandler([this] { SetupFormActivate(ctx_); });
}

void TForm2::FormClose() {
    RunHandler([this] { SetupFormClose(ctx_); });
}

void TForm2::CheckBox1Click(bool checked) {
    RunHandler([this, checked] { kstbell::CheckBox1Click(ctx_, checked); });
}

void TForm2::Image2Click() {
    RunHandler([this] { SetupImage2Click(ctx_); });
}

void TForm2::Image3Click() {
    RunHandler([this] { SetupImage3Click(ctx_); });
}

void TForm2::Image10Click() {
    RunHandler([this] { SetupImage10Click(ctx_); });
}

void TForm2::Image5Click() {
    RunHandler([this] { SetupImage5Click(ctx_); });
}

void TForm2::Image6Click() {
    RunHandler([this] { SetupImage6Click(ctx_); });
}

void TForm2::Image9Click() {
    RunHandler([this] { SetupImage9Click(ctx_); });
}

void TForm2::Image4Click() {
    RunHandler([this] { SetupImage4Click(ctx_); });
}

void TForm2::Image7Click() {
    RunHandler([this] { SetupImage7Click(ctx_); });
}

void TForm2::Image1Click() {
    RunHandler([this] { SetupImage1Click(ctx_); });
}

void TForm2::Image8Click() {
    RunHandler([this] { SetupImage8Click(ctx_); });
}

}  // namespace kstbell
