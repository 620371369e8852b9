#include "app/setup_window.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "app/gauge.h"
#include "app/main_window.h"
#include "shell/context.h"
#include "support/offline_context.h"

namespace kstbell {
namespace {

template <typename W>
W* FindIn(QWidget& window, const char* name) {
    W* widget = window.findChild<W*>(QString::fromUtf8(name));
    if (widget == nullptr) ADD_FAILURE() << "no control " << name;
    return widget;
}

class SetupWindowTest : public ::testing::Test {
  protected:
    template <typename W>
    W* Find(const char* name) {
        return FindIn<W>(form, name);
    }
    QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
    QString Text(const char* edit) { return Edit(edit)->text(); }
    bool Checked(const char* button) { return Find<QAbstractButton>(button)->isChecked(); }
    bool Enabled(const char* control) { return Find<QWidget>(control)->isEnabled(); }
    void Click(const char* button) { Find<QAbstractButton>(button)->click(); }
    // The parent's name and the place inside it.
    std::pair<QString, QRect> Place(const char* control) {
        const QWidget* w = Find<QWidget>(control);
        return {w->parentWidget()->objectName(), w->geometry()};
    }
    void Reopen() {
        form.hide();
        form.show();
    }

    test::TOffline off;
    TContext& ctx = off.Ctx;
    TForm2 form{off.Ctx, off.Host};
};

using Placed = std::pair<QString, QRect>;

TEST_F(SetupWindowTest, ControlsSitAtTheirPlacesWithTheirStartingLook) {
    EXPECT_EQ(form.size(), QSize(705, 351));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("KST.Setup"));
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(Qt::white));

    EXPECT_EQ(Place("GroupBox1"), Placed(QStringLiteral("Form2"), QRect(2, -1, 348, 123)));
    EXPECT_EQ(Place("Edit1"), Placed(QStringLiteral("GroupBox1"), QRect(95, 22, 242, 22)));
    EXPECT_EQ(Place("Image2"), Placed(QStringLiteral("GroupBox1"), QRect(308, 79, 24, 24)));
    EXPECT_EQ(Place("Edit12"), Placed(QStringLiteral("GroupBox6"), QRect(95, 37, 90, 22)));
    EXPECT_EQ(Place("RadioButton5").second.topLeft(), QPoint(257, 54));
    EXPECT_EQ(Place("CheckBox1").second.topLeft(), QPoint(16, 120));
    EXPECT_EQ(Place("Panel1"), Placed(QStringLiteral("GroupBox2"), QRect(5, 143, 340, 104)));
    EXPECT_EQ(Place("Edit8"), Placed(QStringLiteral("Panel1"), QRect(90, 12, 175, 24)));
    EXPECT_EQ(Place("Image10"), Placed(QStringLiteral("Panel1"), QRect(303, 41, 24, 24)));
    EXPECT_EQ(Place("Image4"), Placed(QStringLiteral("GroupBox5"), QRect(308, 13, 24, 24)));
    EXPECT_EQ(Place("Image7").second, QRect(44, 304, 178, 29));
    EXPECT_EQ(Place("Image1").second, QRect(270, 304, 178, 29));
    EXPECT_EQ(Place("Image8").second, QRect(496, 304, 178, 29));
    EXPECT_EQ(Place("CGauge1"), Placed(QStringLiteral("Form2"), QRect(0, 342, 705, 9)));

    EXPECT_EQ(Find<QGroupBox>("GroupBox1")->title(), QStringLiteral("AP "));
    EXPECT_EQ(Find<QGroupBox>("GroupBox5")->title(), QStringLiteral("WiFi Mode "));
    EXPECT_TRUE(Find<QGroupBox>("GroupBox2")->font().bold());
    EXPECT_TRUE(Edit("Edit3")->font().bold());
    EXPECT_FALSE(Find<QLabel>("Label4")->font().bold());
    EXPECT_EQ(Find<QWidget>("CheckBox1")->toolTip(),
              QStringLiteral("Static IP, only Station mode"));
    EXPECT_EQ(Edit("Edit9")->toolTip(), QStringLiteral("Station mode Subnet mask"));
    EXPECT_EQ(Find<QWidget>("Image8")->toolTip(), QStringLiteral("Reboot"));
    EXPECT_NE(Find<QWidget>("Panel1")->palette().color(QPalette::Window), QColor(Qt::white));

    EXPECT_EQ(Text("Edit1"), QStringLiteral("KST-06-QZ-XXXXXX"));
    EXPECT_EQ(Text("Edit3"), QStringLiteral("kQZHUB"));
    EXPECT_EQ(Text("Edit9"), QStringLiteral("255.255.255.0"));
    EXPECT_TRUE(Checked("RadioButton1"));
    EXPECT_TRUE(Checked("RadioButton5"));
    EXPECT_TRUE(Checked("RadioButton7"));
    EXPECT_FALSE(Checked("CheckBox1"));
    for (const char* control : {"Label10", "Label11", "Label12", "Edit8", "Edit9", "Edit10"})
        EXPECT_FALSE(Enabled(control)) << control;
    EXPECT_TRUE(Enabled("Image10"));

    // The WEB group is there but cannot be used; Modbus TCP is shown.
    EXPECT_FALSE(Enabled("GroupBox4"));
    EXPECT_FALSE(Enabled("Edit6"));
    EXPECT_TRUE(Find<QWidget>("Image5")->isHidden());
    EXPECT_FALSE(Find<QWidget>("GroupBox6")->isHidden());
    EXPECT_EQ(Find<TGauge>("CGauge1")->Fraction(), 0.0);
}

TEST_F(SetupWindowTest, OpeningShowsTheLastDeviceInformation) {
    auto& info = ctx.Session.DeviceInfo;
    info.ApSsid = "HornAP";
    info.ApKeyType = 5;
    info.StaSsid = "Office";
    info.StaKeyType = 7;
    info.Location = "Hall 3";
    info.ModbusPort = 502;
    info.ModbusIdleTimeout = 65000;
    info.WifiMode = 2;
    info.StaticIpEnabled = true;
    info.StaticIp = {192, 168, 1, 20};
    info.NetMask = {255, 255, 0, 0};
    info.Gateway = {10, 0, 0, 1};
    ctx.Form2.Edit2.Text = "ap key typed before";
    ctx.Form2.Edit4.Text = "sta key typed before";
    ctx.Form2.CGauge1.Progress = 70;
    form.show();

    EXPECT_EQ(Text("Edit1"), QStringLiteral("HornAP"));
    EXPECT_TRUE(Checked("RadioButton2"));
    EXPECT_FALSE(Checked("RadioButton1"));
    EXPECT_EQ(Text("Edit2"), QStringLiteral("ap key typed before"));
    EXPECT_EQ(Text("Edit3"), QStringLiteral("Office"));
    EXPECT_TRUE(Checked("RadioButton5"));
    EXPECT_EQ(Text("Edit4"), QStringLiteral("sta key typed before"));
    EXPECT_EQ(Text("Edit5"), QStringLiteral("Hall 3"));
    EXPECT_EQ(Text("Edit7"), QStringLiteral("502"));
    EXPECT_EQ(Text("Edit12"), QStringLiteral("65000"));
    EXPECT_TRUE(Checked("RadioButton6"));
    EXPECT_FALSE(Checked("RadioButton7"));
    EXPECT_TRUE(Checked("CheckBox1"));
    EXPECT_EQ(Text("Edit8"), QStringLiteral("192.168.1.20"));
    EXPECT_EQ(Text("Edit9"), QStringLiteral("255.255.0.0"));
    EXPECT_EQ(Text("Edit10"), QStringLiteral("10.0.0.1"));
    for (const char* control : {"Label10", "Label11", "Label12", "Edit8", "Edit9", "Edit10"})
        EXPECT_TRUE(Enabled(control)) << control;
    EXPECT_EQ(Find<TGauge>("CGauge1")->Fraction(), 0.0);

    // Every opening reads the information again and discards what was not committed.
    info.ApKeyType = 0;
    info.StaKeyType = 0;
    info.WifiMode = 0;
    info.StaticIpEnabled = false;
    QTest::keyClicks(Edit("Edit5"), QStringLiteral(" west"));
    Reopen();
    EXPECT_EQ(Text("Edit5"), QStringLiteral("Hall 3"));
    EXPECT_TRUE(Checked("RadioButton1"));
    EXPECT_EQ(Text("Edit2"), QString());
    EXPECT_TRUE(Checked("RadioButton3"));
    EXPECT_EQ(Text("Edit4"), QString());
    EXPECT_TRUE(Checked("RadioButton7"));
    EXPECT_FALSE(Checked("CheckBox1"));
    EXPECT_EQ(Text("Edit8"), QString());
    EXPECT_EQ(Text("Edit9"), QStringLiteral("255.255.0.0"));  // the last mask stays
    EXPECT_EQ(Text("Edit10"), QString());
    for (const char* control : {"Label10", "Label11", "Label12", "Edit8", "Edit9", "Edit10"})
        EXPECT_FALSE(Enabled(control)) << control;
}

TEST_F(SetupWindowTest, DeviceTextsAreShownLiterally) {
    ctx.Session.DeviceInfo.ApSsid = "<b>AP</b>";
    ctx.Session.DeviceInfo.Location = "Hall \xFF<i>3</i>";
    form.show();
    EXPECT_EQ(Text("Edit1"), QStringLiteral("<b>AP</b>"));
    EXPECT_TRUE(Text("Edit5").startsWith(QStringLiteral("Hall ")));
    EXPECT_TRUE(Text("Edit5").contains(QChar::ReplacementCharacter));
    EXPECT_TRUE(Text("Edit5").endsWith(QStringLiteral("<i>3</i>")));
    for (QLabel* label : form.findChildren<QLabel*>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
}

TEST_F(SetupWindowTest, TypedTextsReachTheStateAndSurviveRenders) {
    auto* location = Edit("Edit5");
    QTest::keyClicks(location, QStringLiteral("Gate 7"));
    EXPECT_EQ(ctx.Form2.Edit5.Text, "Gate 7");
    location->setCursorPosition(4);
    form.Render();
    QTest::keyClicks(location, QStringLiteral("s"));
    EXPECT_EQ(location->text(), QStringLiteral("Gates 7"));
    EXPECT_EQ(ctx.Form2.Edit5.Text, "Gates 7");

    QTest::keyClicks(Edit("Edit7"), QStringLiteral("1502"));
    EXPECT_EQ(ctx.Form2.Edit7.Text, "1502");
    // A key that is not ASCII arrives as UTF-8.
    QKeyEvent umlaut(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(0xFC)));
    QApplication::sendEvent(Edit("Edit2"), &umlaut);
    EXPECT_EQ(ctx.Form2.Edit2.Text, "\xC3\xBC");

    // A text the core puts there replaces what was typed.
    ctx.Form2.Edit5.Text = "Hall 3";
    form.Render();
    EXPECT_EQ(location->text(), QStringLiteral("Hall 3"));
    EXPECT_EQ(Text("Edit7"), QStringLiteral("1502"));
}

TEST_F(SetupWindowTest, RadioChoicesAreWrittenBackOnePerGroup) {
    Click("RadioButton4");
    EXPECT_FALSE(ctx.Form2.RadioButton3);
    EXPECT_TRUE(ctx.Form2.RadioButton4);
    EXPECT_FALSE(ctx.Form2.RadioButton5);
    EXPECT_FALSE(Checked("RadioButton5"));
    // The groups do not reach into each other.
    EXPECT_TRUE(Checked("RadioButton1"));
    EXPECT_TRUE(Checked("RadioButton7"));

    Click("RadioButton6");
    EXPECT_TRUE(ctx.Form2.RadioButton6);
    EXPECT_FALSE(ctx.Form2.RadioButton7);
    Click("RadioButton2");
    EXPECT_FALSE(ctx.Form2.RadioButton1);
    EXPECT_TRUE(ctx.Form2.RadioButton2);
    EXPECT_TRUE(ctx.Form2.RadioButton4);

    // The core's choice is shown and leaves the rest of the state alone.
    ctx.Form2.RadioButton4 = false;
    ctx.Form2.RadioButton3 = true;
    form.Render();
    EXPECT_TRUE(Checked("RadioButton3"));
    EXPECT_FALSE(Checked("RadioButton4"));
    EXPECT_TRUE(ctx.Form2.RadioButton3);
    EXPECT_FALSE(ctx.Form2.RadioButton4);
    EXPECT_FALSE(ctx.Form2.RadioButton5);
}

TEST_F(SetupWindowTest, StaticIpCheckBoxSwitchesThePanel) {
    const char* panel[] = {"Label10", "Label11", "Label12", "Edit8", "Edit9", "Edit10"};
    Click("CheckBox1");
    EXPECT_TRUE(ctx.Form2.CheckBox1);
    EXPECT_TRUE(Checked("CheckBox1"));
    for (const char* control : panel)
        EXPECT_TRUE(Enabled(control)) << control;
    EXPECT_TRUE(Enabled("Image10"));
    EXPECT_TRUE(Enabled("Panel1"));

    Click("CheckBox1");
    EXPECT_FALSE(ctx.Form2.CheckBox1);
    EXPECT_FALSE(Checked("CheckBox1"));
    for (const char* control : panel)
        EXPECT_FALSE(Enabled(control)) << control;
    EXPECT_TRUE(Enabled("Image10"));
    EXPECT_TRUE(Enabled("Panel1"));
}

TEST_F(SetupWindowTest, ApplyClicksReachTheCoreExceptWhileBusy) {
    QSignalSpy finished(&form, &TForm2::HandlerFinished);
    ctx.Form2.Busy = true;
    form.Render();
    for (const char* image : {"Image2", "Image3", "Image10", "Image6", "Image9", "Image4", "Image7",
                              "Image1", "Image8"})
        EXPECT_FALSE(Enabled(image)) << image;
    Click("Image6");
    EXPECT_TRUE(off.Host.Boxes.empty());
    EXPECT_EQ(finished.count(), 0);

    ctx.Form2.Busy = false;
    form.Render();
    EXPECT_TRUE(Enabled("Image6"));
    // The location commit asks before it sends; the scripted answer is No.
    QTest::keyClicks(Edit("Edit5"), QStringLiteral("Hall 3"));
    Click("Image6");
    EXPECT_FALSE(off.Host.Boxes.empty());
    EXPECT_TRUE(off.Tcp.Writes.empty());
    EXPECT_FALSE(ctx.Form2.Busy);
    EXPECT_EQ(finished.count(), 1);
}

TEST_F(SetupWindowTest, HandlerErrorsAreShownAndTheWindowGoesOn) {
    form.RunHandler([this] {
        ctx.Form2.Edit5.Text = "before the error";
        throw std::runtime_error("Socket Error # 10054");
    });
    ASSERT_EQ(off.Host.Boxes.size(), 1u);
    EXPECT_EQ(off.Host.Boxes[0].Text, "Socket Error # 10054");
    EXPECT_EQ(off.Host.Boxes[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Text("Edit5"), QStringLiteral("before the error"));
}

TEST(GaugeTest, FractionHoldsTheProgressWithinItsRange) {
    EXPECT_EQ(GaugeFraction(0, 100, 0), 0.0);
    EXPECT_EQ(GaugeFraction(0, 100, 25), 0.25);
    EXPECT_EQ(GaugeFraction(0, 100, 250), 1.0);
    EXPECT_EQ(GaugeFraction(0, 100, -5), 0.0);
    EXPECT_EQ(GaugeFraction(100, 300, 200), 0.5);
    EXPECT_EQ(GaugeFraction(0, 0, 0), 1.0);
    EXPECT_EQ(GaugeFraction(0, 0, -1), 0.0);
    EXPECT_EQ(GaugeFraction(-2'000'000'000, 2'000'000'000, 0), 0.5);
}

TEST_F(SetupWindowTest, GaugePaintsTheDoneShareInItsColour) {
    ctx.Form2.CGauge1.MaxValue = 2000;
    ctx.Form2.CGauge1.Progress = 500;
    ctx.Form2.CGauge1.ForeColor = clRed;
    form.Render();
    auto* gauge = Find<TGauge>("CGauge1");
    EXPECT_EQ(gauge->Fraction(), 0.25);
    const QImage picture = gauge->grab().toImage();
    EXPECT_EQ(picture.pixelColor(10, 4), QColor(Qt::red));
    EXPECT_EQ(picture.pixelColor(170, 4), QColor(Qt::red));
    EXPECT_EQ(picture.pixelColor(180, 4), QColor(Qt::white));
    EXPECT_EQ(picture.pixelColor(700, 4), QColor(Qt::white));

    ctx.Form2.CGauge1.Progress = 5000;
    form.Render();
    EXPECT_EQ(gauge->grab().toImage().pixelColor(700, 4), QColor(Qt::red));
}

// The setup window opened from the main window's Setup image.
class SetupFromMainWindowTest : public ::testing::Test {
  protected:
    SetupFromMainWindowTest() {
        // The first activation's locate and request are not what these tests look at.
        ctx.Form1.FirstActivationDone = true;
        ctx.Form1.Image1Enabled = true;
        window.Render();
        window.show();
    }
    // Clicks Setup; while the setup window is open, check runs and then closes it.
    void OpenSetup(const std::function<void(TForm2&)>& check) {
        QTimer::singleShot(0, &window, [this, check] {
            TForm2& setup = window.Setup();
            check(setup);
            setup.reject();
        });
        FindIn<QAbstractButton>(window, "Image1")->click();
    }

    test::TOffline off;
    TContext& ctx = off.Ctx;
    TForm1 window{off.Ctx, off.Host};
};

TEST_F(SetupFromMainWindowTest, SetupWaitsForARunningTransaction) {
    ctx.Session.Link.LinkBusy = true;
    FindIn<QAbstractButton>(window, "Image1")->click();
    EXPECT_TRUE(window.Setup().isHidden());
    EXPECT_TRUE(ctx.Session.Poll.PollEnabled);
}

TEST_F(SetupFromMainWindowTest, OpensModallyWithoutPollingAndAsksForInformationOnClose) {
    ctx.Session.Flags.DeviceInfoShown = true;
    ctx.Session.DeviceInfo.Location = "Hall 3";
    ASSERT_EQ(ctx.Session.Poll.QueuedCode, 0);
    bool opened = false;
    OpenSetup([&](TForm2& setup) {
        opened = true;
        EXPECT_TRUE(setup.isVisible());
        EXPECT_EQ(QApplication::activeModalWidget(), &setup);
        EXPECT_FALSE(ctx.Session.Poll.PollEnabled);
        EXPECT_EQ(FindIn<QLineEdit>(setup, "Edit5")->text(), QStringLiteral("Hall 3"));
        const QPoint offset = setup.geometry().center() - window.geometry().center();
        EXPECT_LE(offset.manhattanLength(), 4);
        // Rendering the main window, as every pump does, renders the open setup window too.
        ctx.Form2.CGauge1.Progress = 50;
        window.Render();
        EXPECT_EQ(FindIn<TGauge>(setup, "CGauge1")->Fraction(), 0.5);
    });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(window.Setup().isHidden());
    EXPECT_TRUE(ctx.Session.Poll.PollEnabled);
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_GET_DEVICE_INFO);
}

TEST_F(SetupFromMainWindowTest, ClosingWithoutShownInformationLeavesPollingOff) {
    ctx.Session.Flags.DeviceInfoShown = false;
    bool opened = false;
    OpenSetup([&](TForm2&) { opened = true; });
    EXPECT_TRUE(opened);
    EXPECT_FALSE(ctx.Session.Poll.PollEnabled);
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, 0);
}

// Renders the filled-in window whole. With KSTBELL_SETUP_PICTURE set, the picture is kept
// there for a look by eye.
TEST_F(SetupWindowTest, FilledInWindowRendersWhole) {
    auto& info = ctx.Session.DeviceInfo;
    info.ApSsid = "KST-06-QZ-3C6001";
    info.ApKeyType = 1;
    info.StaSsid = "kQZHUB";
    info.StaKeyType = 2;
    info.Location = "Warehouse 2, gate 7";
    info.StaticIpEnabled = true;
    info.StaticIp = {192, 168, 1, 20};
    info.NetMask = {255, 255, 255, 0};
    info.Gateway = {192, 168, 1, 1};
    form.show();
    ctx.Form2.CGauge1 = {0, 100, 40, clRed};
    form.Render();
    const QPixmap picture = form.grab();
    EXPECT_EQ(picture.deviceIndependentSize().toSize(), QSize(705, 351));
    const QString path = qEnvironmentVariable("KSTBELL_SETUP_PICTURE");
    if (!path.isEmpty()) {
        EXPECT_TRUE(picture.save(path));
    }
}

}  // namespace
}  // namespace kstbell
