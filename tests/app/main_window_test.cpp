#include "app/main_window.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
#include <stdexcept>

#include "app/widgets.h"
#include "platform/survey_simulated.h"
#include "shell/context.h"
#include "support/fake_host.h"

namespace kstbell {
namespace {

// A client that never reaches anything: these tests send nothing.
class TNoNetworkTcp : public ITcpClient {
  public:
    void SetHost(const std::string&, std::uint16_t) override {}
    TNetResult Connect(int) override { return {TNetStatus::Failed, "no network in this test"}; }
    TNetResult Write(std::span<const std::uint8_t>) override { return {TNetStatus::Failed, {}}; }
    bool HasBufferedInput() override { return false; }
    TNetResult WaitForInput(int) override { return {TNetStatus::TimedOut, {}}; }
    TNetResult ReadAvailable(std::span<std::uint8_t>, std::size_t& count) override {
        count = 0;
        return {TNetStatus::Failed, {}};
    }
    void Disconnect() override {}
    bool Connected() const override { return false; }
};

class MainWindowTest : public ::testing::Test {
  protected:
    template <typename W>
    W* Find(const char* name) {
        W* widget = window.findChild<W*>(QString::fromUtf8(name));
        if (widget == nullptr) ADD_FAILURE() << "no control " << name;
        return widget;
    }
    QLabel* Label(const char* name) { return Find<QLabel>(name); }
    QString PanelText(const char* bar, int panel) {
        return Find<TStatusBar>(bar)->PanelText(panel);
    }
    static QColor FontColor(const QWidget* w) { return w->palette().color(QPalette::WindowText); }

    test::TFakeHost host;
    TSimulatedHostNetwork network{"192.168.77.23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01}};
    TNoNetworkTcp tcp;
    TContext ctx{tcp, host, network};
    TForm1 window{ctx, host};
};

TEST_F(MainWindowTest, ControlsSitAtTheirPlaces) {
    EXPECT_EQ(window.size(), QSize(386, 248));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("KST-Bell-QZ V1.0(20201021)"));

    EXPECT_EQ(Find<QGroupBox>("GroupBox3")->geometry(), QRect(2, 2, 382, 131));
    EXPECT_EQ(Label("Label4")->geometry(), QRect(9, 22, 316, 23));
    EXPECT_EQ(Label("Label12")->pos(), QPoint(9, 77));
    EXPECT_EQ(Find<QLineEdit>("Edit2")->geometry(), QRect(76, 98, 104, 22));
    EXPECT_EQ(Find<QWidget>("Image2")->geometry(), QRect(354, 99, 24, 24));
    // Children of the group box and the panel are placed relative to them.
    auto* shape6 = Find<TShape>("Shape6");
    EXPECT_EQ(shape6->parentWidget()->objectName(), QStringLiteral("GroupBox1"));
    EXPECT_EQ(shape6->geometry(), QRect(121, 36, 28, 14));
    auto* relay = Find<QToolButton>("SpeedButton4");
    EXPECT_EQ(relay->parentWidget()->objectName(), QStringLiteral("Panel1"));
    EXPECT_EQ(relay->geometry(), QRect(101, 41, 70, 25));
    EXPECT_EQ(Find<QComboBox>("ComboBox1")->geometry(), QRect(111, 12, 50, 21));

    EXPECT_EQ(Find<QWidget>("Image1")->toolTip(), QStringLiteral("Setup"));
    EXPECT_EQ(Find<QWidget>("Image3")->toolTip(), QStringLiteral("Find me"));
    EXPECT_EQ(Find<QWidget>("Image2")->toolTip(), QStringLiteral("Refresh"));
    EXPECT_EQ(shape6->toolTip(), QStringLiteral("DI0"));
    EXPECT_EQ(relay->toolTip(), QStringLiteral("Relay Output"));
    EXPECT_EQ(Label("Label6")->text(), QStringLiteral("Device  IP:"));

    EXPECT_EQ(window.Timer3().interval(), 100);
    EXPECT_FALSE(window.Timer3().isActive());
}

TEST_F(MainWindowTest, StatusBarsDockToTheBottomAndHiddenControlsStayHidden) {
    EXPECT_TRUE(Find<TStatusBar>("StatusBar3")->isHidden());
    EXPECT_TRUE(Find<QPlainTextEdit>("Memo1")->isHidden());
    // With the third bar hidden, the two visible bars fill the bottom edge.
    EXPECT_EQ(Find<TStatusBar>("StatusBar1")->geometry(), QRect(0, 210, 386, 19));
    EXPECT_EQ(Find<TStatusBar>("StatusBar2")->geometry(), QRect(0, 229, 386, 19));

    ctx.Form1.StatusBar3.Visible = true;
    window.Render();
    EXPECT_FALSE(Find<TStatusBar>("StatusBar3")->isHidden());
    EXPECT_EQ(Find<TStatusBar>("StatusBar1")->geometry(), QRect(0, 191, 386, 19));
    EXPECT_EQ(Find<TStatusBar>("StatusBar2")->geometry(), QRect(0, 210, 386, 19));
    EXPECT_EQ(Find<TStatusBar>("StatusBar3")->geometry(), QRect(0, 229, 386, 19));
}

TEST_F(MainWindowTest, RendersTheWindowState) {
    auto& f = ctx.Form1;
    EXPECT_EQ(Label("Label12")->text(), QStringLiteral("RSSI:"));
    EXPECT_EQ(FontColor(Label("Label12")), QColor(0xFF, 0x40, 0x81));
    EXPECT_FALSE(Find<QWidget>("SpeedButton4")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("Image1")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("Image2")->isEnabled());

    f.Label4 = {"Get Device Linked!!", clNavy};
    f.Label12.Caption = "RSSI: -50dBm";
    f.SpeedButton4 = {"On", true};
    f.Image1Enabled = true;
    f.Image3Enabled = true;
    f.Shape1 = {kOutputOnColor, kOutputOnColor};
    f.StatusBar1.Panels = {"Dev MAC: 01:02:03:04:05:06", "IP: 192.168.77.1"};
    f.StatusBar2.Panels = {"Set Locator done!", "FW: V01.02"};
    f.StatusBar3.Panels = {"Device Mode: 2", "SD : N/A"};
    window.Render();

    EXPECT_EQ(Label("Label4")->text(), QStringLiteral("Get Device Linked!!"));
    EXPECT_EQ(FontColor(Label("Label4")), QColor(0, 0, 0x80));
    EXPECT_EQ(Label("Label12")->text(), QStringLiteral("RSSI: -50dBm"));
    // The label grows with its caption.
    EXPECT_GE(Label("Label12")->width(), Label("Label12")->sizeHint().width());
    auto* relay = Find<QToolButton>("SpeedButton4");
    EXPECT_EQ(relay->text(), QStringLiteral("On"));
    EXPECT_TRUE(relay->isEnabled());
    EXPECT_TRUE(Find<QWidget>("Image1")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("Image3")->isEnabled());
    EXPECT_EQ(Find<TShape>("Shape1")->BrushColor(), QColor(0xFF, 0x80, 0x00));
    EXPECT_EQ(Find<TShape>("Shape1")->PenColor(), QColor(0xFF, 0x80, 0x00));
    EXPECT_EQ(PanelText("StatusBar1", 0), QStringLiteral("Dev MAC: 01:02:03:04:05:06"));
    EXPECT_EQ(PanelText("StatusBar1", 1), QStringLiteral("IP: 192.168.77.1"));
    EXPECT_EQ(PanelText("StatusBar2", 0), QStringLiteral("Set Locator done!"));
    EXPECT_EQ(PanelText("StatusBar2", 1), QStringLiteral("FW: V01.02"));
    EXPECT_EQ(PanelText("StatusBar3", 1), QStringLiteral("SD : N/A"));

    // Back to the idle colours: the system colours, not black.
    f.Shape1 = {clMenu, cl3DLight};
    window.Render();
    EXPECT_EQ(Find<TShape>("Shape1")->BrushColor(), ToQColor(clMenu));
    EXPECT_EQ(Find<TShape>("Shape1")->PenColor(), ToQColor(cl3DLight));
    EXPECT_NE(ToQColor(clMenu), QColor(Qt::black));
    EXPECT_NE(ToQColor(cl3DLight), QColor(Qt::black));
}

TEST_F(MainWindowTest, DeviceTextsAreShownLiterallyAndInvalidBytesKeepTheRest) {
    ctx.Form1.Label4.Caption = "<b>x</b>";
    ctx.Form1.Label5.Caption = "Locate: <img src=\"a\">\xFF\xFEhall";
    ctx.Form1.StatusBar2.Panels[0] = "<i>y</i>";
    ctx.Form1.Edit2Text = "10.\xC0.0.1";
    ctx.Form1.Memo1.push_back("GBL => <a href=x>");
    window.Render();

    for (QLabel* label : window.findChildren<QLabel*>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
    EXPECT_EQ(Label("Label4")->text(), QStringLiteral("<b>x</b>"));
    EXPECT_EQ(PanelText("StatusBar2", 0), QStringLiteral("<i>y</i>"));

    const QString location = Label("Label5")->text();
    EXPECT_TRUE(location.startsWith(QStringLiteral("Locate: <img src=\"a\">")));
    EXPECT_TRUE(location.endsWith(QStringLiteral("hall")));
    EXPECT_TRUE(location.contains(QChar::ReplacementCharacter));
    const QString address = Find<QLineEdit>("Edit2")->text();
    EXPECT_TRUE(address.startsWith(QStringLiteral("10.")));
    EXPECT_TRUE(address.endsWith(QStringLiteral(".0.1")));
    EXPECT_EQ(Find<QPlainTextEdit>("Memo1")->toPlainText(), QStringLiteral("GBL => <a href=x>"));
}

TEST_F(MainWindowTest, OperatorEntriesReachTheStateAndSurviveRenders) {
    auto* edit = Find<QLineEdit>("Edit2");
    QTest::keyClicks(edit, QStringLiteral("10.0.0.7"));
    EXPECT_EQ(ctx.Form1.Edit2Text, "10.0.0.7");
    window.Render();
    EXPECT_EQ(edit->text(), QStringLiteral("10.0.0.7"));
    // A render between two key strokes leaves the cursor where the operator put it.
    edit->setCursorPosition(3);
    window.Render();
    QTest::keyClicks(edit, QStringLiteral("1"));
    EXPECT_EQ(edit->text(), QStringLiteral("10.10.0.7"));
    EXPECT_EQ(ctx.Form1.Edit2Text, "10.10.0.7");

    // A text the core puts there replaces what was typed.
    ctx.Form1.Edit2Text = "192.168.77.1";
    window.Render();
    EXPECT_EQ(edit->text(), QStringLiteral("192.168.77.1"));

    auto* tone = Find<QComboBox>("ComboBox1");
    EXPECT_EQ(tone->currentText(), QStringLiteral("0"));
    tone->setCurrentIndex(2);
    EXPECT_EQ(ctx.Form1.ComboBox1Text, "2");
    window.Render();
    EXPECT_EQ(tone->currentText(), QStringLiteral("2"));
    tone->lineEdit()->selectAll();
    QTest::keyClicks(tone->lineEdit(), QStringLiteral("3"));
    EXPECT_EQ(ctx.Form1.ComboBox1Text, "3");
}

TEST_F(MainWindowTest, TraceLinesAreAppendedOnce) {
    ctx.Form1.Memo1.push_back("Local IP:192.168.77.2");
    window.Render();
    ctx.Form1.Memo1.push_back("DEV_ID => BA");
    window.Render();
    window.Render();
    EXPECT_EQ(Find<QPlainTextEdit>("Memo1")->toPlainText(),
              QStringLiteral("Local IP:192.168.77.2\nDEV_ID => BA"));
    EXPECT_TRUE(Find<QPlainTextEdit>("Memo1")->isHidden());

    // The hidden memo keeps the newest lines only, as the state does, also when more lines
    // arrive between two renders than it keeps.
    for (std::size_t i = 0; i < TTraceMemo::kCapacity + 5; ++i)
        ctx.Form1.Memo1.push_back("line " + std::to_string(i));
    window.Render();
    const auto* memo = Find<QPlainTextEdit>("Memo1");
    EXPECT_EQ(memo->blockCount(), static_cast<int>(TTraceMemo::kCapacity));
    EXPECT_EQ(memo->document()->firstBlock().text(), QStringLiteral("line 5"));
    EXPECT_EQ(memo->document()->lastBlock().text(),
              QString::fromStdString("line " + std::to_string(TTraceMemo::kCapacity + 4)));
}

TEST_F(MainWindowTest, HandlerErrorsAreShownAndTheWindowGoesOn) {
    window.RunHandler([this] {
        ctx.Form1.Label4.Caption = "before the error";
        throw std::runtime_error("Socket Error # 10054");
    });
    ASSERT_EQ(host.Boxes.size(), 1u);
    EXPECT_EQ(host.Boxes[0].Text, "Socket Error # 10054");
    EXPECT_EQ(host.Boxes[0].Caption, kErrorBoxCaption);
    EXPECT_EQ(host.Boxes[0].Icon, TMsgIcon::Error);
    // The state changed before the error is still shown.
    EXPECT_EQ(Label("Label4")->text(), QStringLiteral("before the error"));

    window.RunHandler([] { throw 42; });
    ASSERT_EQ(host.Boxes.size(), 2u);
    EXPECT_EQ(host.Boxes[1].Text, "");

    // The next click works as usual.
    window.Image3Click();
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_SET_LOCATOR);
    EXPECT_EQ(host.Boxes.size(), 2u);
}

TEST_F(MainWindowTest, PictureButtonsForwardClicks) {
    ctx.Form1.StatusBar2.Panels[0] = "Connect Timeout";
    window.Render();
    // Refresh: clears the operation message and queues the information request.
    qobject_cast<QAbstractButton*>(Find<QWidget>("Image2"))->click();
    EXPECT_EQ(PanelText("StatusBar2", 0), QString());
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_GET_DEVICE_INFO);

    // Disabled pictures take no clicks.
    auto* setup = qobject_cast<QAbstractButton*>(Find<QWidget>("Image1"));
    setup->click();
    EXPECT_TRUE(ctx.Session.Poll.PollEnabled);

    ctx.Form1.Image1Enabled = true;
    window.Render();
    ctx.Session.Link.LinkBusy = true;
    setup->click();
    EXPECT_TRUE(ctx.Session.Poll.PollEnabled);
    // Opening the setup window is covered in setup_window_test.cpp.
}

TEST_F(MainWindowTest, SimulatedDeviceIsMarked) {
    ctx.Form1.SimulatedMarker = "simulated";
    window.Render();
    EXPECT_TRUE(window.windowTitle().endsWith(QStringLiteral("[simulated]")));
    EXPECT_FALSE(Label("SimulatedMarker")->isHidden());
    EXPECT_EQ(Label("SimulatedMarker")->text(), QStringLiteral("simulated"));
}

}  // namespace
}  // namespace kstbell
