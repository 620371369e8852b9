#include "app/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QStringList>
#include <QToolButton>
#include <algorithm>
#include <cstdint>
#include <exception>

#include "app/byte_text.h"
#include "app/icons.h"
#include "app/setup_window.h"
#include "app/widgets.h"
#include "app/window_font.h"
#include "shell/context.h"
#include "shell/host_services.h"
#include "shell/main_window_actions.h"

namespace kstbell {
namespace {

constexpr int kStatusBarHeight = 19;

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromUtf8(caption));
    return label;
}

// Places a label whose size follows its caption.
void PlaceAutoSized(QLabel* label, int left, int top) {
    label->move(left, top);
    label->adjustSize();
}

void SetFontColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    if (palette.color(QPalette::WindowText) == color) return;
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

void SetText(QLabel* label, const QString& text, bool autoSize) {
    if (label->text() == text) return;
    label->setText(text);
    if (autoSize) label->adjustSize();
}

}  // namespace

QColor ToQColor(TColor color) {
    if (IsSystemColor(color)) {
        const QPalette palette = QApplication::palette();
        switch (color) {
            case cl3DLight:
                return QColor(0xE3, 0xE3, 0xE3);  // the desktop's light 3-D edge
            case clMenu:
            default:
                return palette.color(QPalette::Window);
        }
    }
    return QColor(static_cast<int>((color >> 16) & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>(color & 0xFF));
}

TForm1::TForm1(TContext& ctx, IHostServices& host, QWidget* parent)
    : QWidget(parent, Qt::Window), ctx_(ctx), host_(host) {
    setObjectName(QStringLiteral("Form1"));
    // A fixed frame with the system menu and the minimise button only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    MakeFixedWhiteForm(this, kClientWidth, kClientHeight, kMainWindowCaption, Tahoma(11));
    setWindowIcon(ProgramIcon());

    BuildControls();
    ConnectControls();
    form2_ = new TForm2(ctx_, host_, this);
    // What the setup window's handlers change in the main window shows at once.
    connect(form2_, &TForm2::HandlerFinished, this, [this] { Render(); });

    timer3_.setObjectName(QStringLiteral("Timer3"));
    timer3_.setInterval(ctx_.Form1.Timer3Interval);

    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }
    Render();
}

TForm1::~TForm1() = default;

void TForm1::BuildControls() {
    // Created back to front: the group boxes and the panel first, the controls drawn over
    // them after, the status bars last.
    groupBox3_ = new TGroupBox(QStringLiteral("Status"), this);
    groupBox3_->setObjectName(QStringLiteral("GroupBox3"));
    groupBox3_->setFont(Tahoma(13, true));
    groupBox3_->setGeometry(2, 2, 382, 131);

    groupBox1_ = new TGroupBox(QString(), this);
    groupBox1_->setObjectName(QStringLiteral("GroupBox1"));
    groupBox1_->setGeometry(2, 126, 191, 78);
    groupBox1_->setAutoFillBackground(true);

    label14_ = MakeLabel(groupBox1_, "Label14", "Input");
    PlaceAutoSized(label14_, 29, 34);
    shape6_ = new TShape(groupBox1_);
    shape6_->setObjectName(QStringLiteral("Shape6"));
    shape6_->setGeometry(121, 36, 28, 14);
    shape6_->setToolTip(QStringLiteral("DI0"));
    shape6_->setAccessibleName(QStringLiteral("Input DI0"));

    panel1_ = new QFrame(this);
    panel1_->setObjectName(QStringLiteral("Panel1"));
    panel1_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel1_->setGeometry(194, 131, 189, 72);
    panel1_->setAutoFillBackground(true);
    // On the white background the bevel's light edge would vanish; a pale grey keeps it.
    QPalette bevel = panel1_->palette();
    bevel.setColor(QPalette::Light, QColor(0xE3, 0xE3, 0xE3));
    panel1_->setPalette(bevel);

    label1_ = MakeLabel(panel1_, "Label1", "Tone Index:");
    label1_->setFont(Tahoma(12, true));
    PlaceAutoSized(label1_, 14, 14);
    comboBox1_ = new QComboBox(panel1_);
    comboBox1_->setObjectName(QStringLiteral("ComboBox1"));
    comboBox1_->setEditable(true);
    comboBox1_->addItems(
        {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    comboBox1_->setGeometry(111, 12, 50, 21);
    label8_ = MakeLabel(panel1_, "Label8", "Alarm/DO");
    label8_->setFont(Tahoma(13, true));
    SetFontColor(label8_, Qt::black);
    PlaceAutoSized(label8_, 17, 41);
    speedButton4_ = new QToolButton(panel1_);
    speedButton4_->setObjectName(QStringLiteral("SpeedButton4"));
    speedButton4_->setGeometry(101, 41, 70, 25);
    Describe(speedButton4_, QStringLiteral("Relay Output"), QStringLiteral("Relay Output"),
             QStringLiteral("Switches the relay output with the chosen tone"));
    MakeKeyboardButton(speedButton4_);
    // The output bar is drawn over the button's top edge.
    shape1_ = new TShape(panel1_);
    shape1_->setObjectName(QStringLiteral("Shape1"));
    shape1_->setGeometry(102, 36, 69, 7);
    shape1_->setAccessibleName(QStringLiteral("Alarm/DO output"));

    label4_ = MakeLabel(this, "Label4", "");
    label4_->setFont(WindowFont(QStringLiteral("Calibri"), 19, true));
    label4_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label4_->setGeometry(9, 22, 316, 23);
    label5_ = MakeLabel(this, "Label5", "");
    label5_->setFont(WindowFont(QStringLiteral("Calibri"), 16, true));
    label5_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label5_->setGeometry(9, 48, 280, 23);
    label12_ = MakeLabel(this, "Label12", "RSSI:");
    PlaceAutoSized(label12_, 9, 77);
    label6_ = MakeLabel(this, "Label6", "Device  IP:");
    label6_->setFont(Tahoma(13));
    PlaceAutoSized(label6_, 9, 100);

    edit2_ = new QLineEdit(this);
    edit2_->setObjectName(QStringLiteral("Edit2"));
    edit2_->setFont(Tahoma(12, true));
    edit2_->setGeometry(76, 98, 104, 22);
    speedButton5_ = new QToolButton(this);
    speedButton5_->setObjectName(QStringLiteral("SpeedButton5"));
    speedButton5_->setText(QStringLiteral("Static IP"));
    speedButton5_->setGeometry(186, 98, 63, 22);
    Describe(speedButton5_, QString(), QStringLiteral("Static IP"),
             QStringLiteral("Takes the typed address as the device address"));
    MakeKeyboardButton(speedButton5_);

    image1_ = new TPictureButton(this, PictureIcon(DrawSetupPicture()));
    image1_->setObjectName(QStringLiteral("Image1"));
    Describe(image1_, QStringLiteral("Setup"), QStringLiteral("Setup"),
             QStringLiteral("Opens the device's configuration"));
    image1_->setGeometry(354, 20, kPictureSize, kPictureSize);
    image3_ = new TPictureButton(this, PictureIcon(DrawFindMePicture()));
    image3_->setObjectName(QStringLiteral("Image3"));
    Describe(image3_, QStringLiteral("Find me"), QStringLiteral("Find me"),
             QStringLiteral("Makes the device signal where it is"));
    image3_->setGeometry(354, 58, kPictureSize, kPictureSize);
    image2_ = new TPictureButton(this, PictureIcon(DrawRefreshPicture()));
    image2_->setObjectName(QStringLiteral("Image2"));
    Describe(image2_, QStringLiteral("Refresh"), QStringLiteral("Refresh"),
             QStringLiteral("Reads the device information again"));
    image2_->setGeometry(354, 99, kPictureSize, kPictureSize);

    // Shown in the top edge of the status group when the device is a simulated one.
    simulatedMarker_ = MakeLabel(this, "SimulatedMarker", "");
    QFont markerFont = Tahoma(11);
    markerFont.setItalic(true);
    simulatedMarker_->setFont(markerFont);
    SetFontColor(simulatedMarker_, QColor(0x9E, 0x9E, 0x9E));
    simulatedMarker_->setAutoFillBackground(true);
    simulatedMarker_->setIndent(3);
    simulatedMarker_->hide();

    statusBar1_ = new TStatusBar(this, {190, 200});
    statusBar1_->setObjectName(QStringLiteral("StatusBar1"));
    statusBar2_ = new TStatusBar(this, {190, 200});
    statusBar2_->setObjectName(QStringLiteral("StatusBar2"));
    statusBar3_ = new TStatusBar(this, {190, 50});
    statusBar3_->setObjectName(QStringLiteral("StatusBar3"));
    statusBar3_->hide();

    memo1_ = new QPlainTextEdit(this);
    memo1_->setObjectName(QStringLiteral("Memo1"));
    memo1_->setGeometry(3, 204, 380, 96);
    memo1_->setFrameStyle(QFrame::NoFrame);
    memo1_->setReadOnly(true);
    memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo1_->setMaximumBlockCount(static_cast<int>(TTraceMemo::kCapacity));
    memo1_->hide();

    PlaceStatusBars();
    // Tab follows the reading order: down the picture column, along the address row, then the
    // relay panel. The address entry takes the keyboard when the window opens.
    QWidget* order[] = {image1_, image3_,    edit2_,       speedButton5_,
                        image2_, comboBox1_, speedButton4_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    label6_->setBuddy(edit2_);
    edit2_->setAccessibleName(QStringLiteral("Device IP"));
    label1_->setBuddy(comboBox1_);
    comboBox1_->setAccessibleName(QStringLiteral("Tone Index"));
    edit2_->setFocus();
}

void TForm1::ConnectControls() {
    connect(image1_, &QAbstractButton::clicked, this, [this] { Image1Click(); });
    connect(image2_, &QAbstractButton::clicked, this, [this] { Image2Click(); });
    connect(image3_, &QAbstractButton::clicked, this, [this] { Image3Click(); });
    connect(speedButton4_, &QAbstractButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(speedButton5_, &QAbstractButton::clicked, this, [this] { SpeedButton5Click(); });
    connect(&timer3_, &QTimer::timeout, this, [this] { Timer3Timer(); });

    // What the operator types goes into the window state at once.
    connect(edit2_, &QLineEdit::textEdited, this, [this](const QString& text) {
        shownEdit2_ = ToBytes(text);
        ctx_.Form1.Edit2Text = shownEdit2_;
    });
    auto comboChanged = [this](const QString& text) {
        shownComboBox1_ = ToBytes(text);
        ctx_.Form1.ComboBox1Text = shownComboBox1_;
    };
    connect(comboBox1_, &QComboBox::editTextChanged, this, comboChanged);
    connect(comboBox1_, &QComboBox::currentTextChanged, this, comboChanged);
}

// The status bars are docked to the bottom edge in the order 1, 2, 3 from the top; a hidden
// bar gives its room to the bars above it.
void TForm1::PlaceStatusBars() {
    const TMainWindowState& s = ctx_.Form1;
    int top = kClientHeight;
    const std::pair<TStatusBar*, bool> bars[] = {
        {statusBar3_, s.StatusBar3.Visible},
        {statusBar2_, s.StatusBar2.Visible},
        {statusBar1_, s.StatusBar1.Visible},
    };
    for (const auto& [bar, visible] : bars) {
        if (visible) top -= kStatusBarHeight;
        bar->setGeometry(0, top, kClientWidth, kStatusBarHeight);
        bar->setVisible(visible);
    }
}

void TForm1::Render() {
    const TMainWindowState& s = ctx_.Form1;

    QString title = QString::fromUtf8(kMainWindowCaption);
    if (!s.SimulatedMarker.empty())
        title += QStringLiteral(" [") + FromBytes(s.SimulatedMarker) + QLatin1Char(']');
    if (windowTitle() != title) setWindowTitle(title);
    SetText(simulatedMarker_, FromBytes(s.SimulatedMarker), true);
    simulatedMarker_->setVisible(!s.SimulatedMarker.empty());
    if (!s.SimulatedMarker.empty()) {
        // Right-aligned in the group's top edge, clear of the picture buttons.
        const int right = groupBox3_->geometry().right() - 8;
        simulatedMarker_->move(right - simulatedMarker_->width(), groupBox3_->y());
    }

    SetText(label4_, FromBytes(s.Label4.Caption), false);
    SetFontColor(label4_, ToQColor(s.Label4.FontColor));
    SetText(label5_, FromBytes(s.Label5.Caption), false);
    SetFontColor(label5_, ToQColor(s.Label5.FontColor));
    SetText(label12_, FromBytes(s.Label12.Caption), true);
    SetFontColor(label12_, ToQColor(s.Label12.FontColor));

    {
        const QSignalBlocker blockEdit(edit2_);
        const QSignalBlocker blockCombo(comboBox1_);
        if (!editsShown_ || s.Edit2Text != shownEdit2_) {
            shownEdit2_ = s.Edit2Text;
            edit2_->setText(FromBytes(s.Edit2Text));
        }
        if (!editsShown_ || s.ComboBox1Text != shownComboBox1_) {
            shownComboBox1_ = s.ComboBox1Text;
            comboBox1_->setEditText(FromBytes(s.ComboBox1Text));
        }
        editsShown_ = true;
    }

    if (speedButton4_->text() != FromBytes(s.SpeedButton4.Caption))
        speedButton4_->setText(FromBytes(s.SpeedButton4.Caption));
    speedButton4_->setEnabled(s.SpeedButton4.Enabled);
    image1_->setEnabled(s.Image1Enabled);
    image2_->setEnabled(s.Image2Enabled);
    image3_->setEnabled(s.Image3Enabled);

    shape1_->SetColors(ToQColor(s.Shape1.Brush), ToQColor(s.Shape1.Pen));
    shape1_->SetOn(s.Shape1.Brush == kOutputOnColor);
    shape6_->SetColors(ToQColor(s.Shape6.Brush), ToQColor(s.Shape6.Pen));
    shape6_->SetOn(s.Shape6.Brush == kInputOnColor);

    const std::pair<TStatusBar*, const TStatusBarState*> bars[] = {
        {statusBar1_, &s.StatusBar1},
        {statusBar2_, &s.StatusBar2},
        {statusBar3_, &s.StatusBar3},
    };
    for (const auto& [bar, state] : bars) {
        for (int i = 0; i < bar->PanelCount(); ++i)
            bar->SetPanelText(i, FromBytes(state->Panels[static_cast<std::size_t>(i)]));
    }
    PlaceStatusBars();

    // The trace memo keeps its newest lines only, here as in the state; fewer lines appended
    // than already shown means a fresh state.
    const std::uint64_t appended = s.Memo1.Appended();
    if (appended < shownMemoLines_) {
        memo1_->clear();
        shownMemoLines_ = 0;
    }
    const auto fresh = static_cast<std::size_t>(
        std::min<std::uint64_t>(appended - shownMemoLines_, s.Memo1.size()));
    for (std::size_t i = s.Memo1.size() - fresh; i < s.Memo1.size(); ++i)
        memo1_->appendPlainText(FromBytes(s.Memo1[i]));
    shownMemoLines_ = appended;

    if (timer3_.interval() != s.Timer3Interval) timer3_.setInterval(s.Timer3Interval);

    if (form2_ != nullptr && form2_->isVisible()) form2_->Render();
}

void TForm1::RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowError(e.what());
    } catch (...) {
        ShowError(std::string());
    }
    Render();
}

void TForm1::ShowError(const std::string& message) {
    ShowErrorBox(host_, message);
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TForm1::FormActivate() {
    RunHandler([this] { kstbell::FormActivate(ctx_); });
}

void TForm1::Image1Click() {
    RunHandler([this] {
        if (!kstbell::Image1Click(ctx_)) return;
        // Centred on this window at every opening, also after the operator moved it.
        form2_->setAttribute(Qt::WA_Moved, false);
        form2_->exec();
    });
}

void TForm1::Image2Click() {
    RunHandler([this] { RefreshDevice(ctx_); });
}

void TForm1::Image3Click() {
    RunHandler([this] { kstbell::Image3Click(ctx_); });
}

void TForm1::SpeedButton4Click() {
    RunHandler([this] { kstbell::SpeedButton4Click(ctx_); });
}

void TForm1::SpeedButton5Click() {
    RunHandler([this] { kstbell::SpeedButton5Click(ctx_); });
}

void TForm1::Timer3Timer() {
    // The timer stays off while its handler runs, also when a transaction inside it lets a
    // later timeout through the event loop.
    if (!ctx_.Form1.Timer3Enabled) return;
    RunHandler([this] { kstbell::Timer3Timer(ctx_); });
}

}  // namespace kstbell
