// The real main window wired to the in-process simulator as `kstbell --simulate` wires it,
// with the event loop running between ticks.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/main_window.h"
#include "app/simulation.h"
#include "app/widgets.h"
#include "platform/tcp_client_posix.h"
#include "shell/context.h"
#include "shell/display.h"
#include "support/fake_host.h"

namespace kstbell {
namespace {

class SimulatedWindowTest : public ::testing::Test {
  protected:
    SimulatedWindowTest() {
        simulation.Start();
        simulation.Wire(ctx);
        FormCreate(ctx, std::filesystem::temp_directory_path() / "kstbell-no-temp-here");
        window.Render();
        window.show();
        QCoreApplication::processEvents();
        window.FormActivate();  // a no-op when the platform already activated the window
    }

    template <typename W>
    W* Find(const char* name) {
        W* w = window.findChild<W*>(QString::fromUtf8(name));
        if (w == nullptr) ADD_FAILURE() << "no control " << name;
        return w;
    }
    QString Text(const char* label) { return Find<QLabel>(label)->text(); }
    QString Panel(const char* bar, int panel) { return Find<TStatusBar>(bar)->PanelText(panel); }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            window.Timer3Timer();
            QCoreApplication::processEvents();
        }
    }
    void Click(const char* name) { Find<QAbstractButton>(name)->click(); }
    std::vector<sim::TSimRequest> Requests() { return simulation.Device->Requests(); }

    TSimulation simulation;
    test::TFakeHost host;
    TPosixTcpClient tcp{host};
    TContext ctx{tcp, host, *simulation.Network};
    TForm1 window{ctx, host};
};

TEST_F(SimulatedWindowTest, IdentifiesPollsAndDrivesTheSimulatedHorn) {
    EXPECT_TRUE(window.windowTitle().startsWith(QString::fromUtf8(kMainWindowCaption)));
    EXPECT_TRUE(Requests().empty());

    Tick();
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].Bytes.size(), 9u);
    EXPECT_EQ(Requests()[0].Bytes[4], CMD_GET_DEVICE_INFO);
    EXPECT_EQ(Text("Label4"), QStringLiteral("Get Device Linked!!"));
    EXPECT_EQ(Find<QLabel>("Label4")->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
    EXPECT_EQ(Panel("StatusBar1", 0), QStringLiteral("Dev MAC: 02:4B:7A:3C:60:01"));
    EXPECT_EQ(Panel("StatusBar1", 1), QStringLiteral("IP: 127.0.77.1"));
    EXPECT_EQ(Text("Label5"), QStringLiteral("Locate: Office"));
    EXPECT_EQ(Panel("StatusBar2", 1), QStringLiteral("FW: V01.0A"));
    EXPECT_EQ(Text("Label12"), QStringLiteral("RSSI: -50dBm"));
    for (const char* control : {"SpeedButton4", "Image1", "Image2", "Image3"})
        EXPECT_TRUE(Find<QWidget>(control)->isEnabled()) << control;

    // A status request about every 31 ticks.
    Tick(31);
    ASSERT_EQ(Requests().size(), 2u);
    EXPECT_EQ(Requests()[1].Bytes, (std::vector<std::uint8_t>{0x5A, 0x35, 0x77, 0xA5, 0xD8}));

    Click("Image3");
    Tick();
    EXPECT_EQ(Panel("StatusBar2", 0), QStringLiteral("Set Locator done!"));
    EXPECT_EQ(simulation.Device->Snapshot().LocatorCount, 1);

    Click("SpeedButton4");
    EXPECT_EQ(Find<QAbstractButton>("SpeedButton4")->text(), QStringLiteral("On"));
    EXPECT_EQ(Find<TShape>("Shape1")->BrushColor(), QColor(0xFF, 0x80, 0x00));
    EXPECT_EQ(simulation.Device->Snapshot().Relay, 1);
    EXPECT_TRUE(host.Boxes.empty());
}

TEST_F(SimulatedWindowTest, StaticIpWithAnIncompleteAddressShowsTheConversionError) {
    Tick();
    auto* edit = Find<QLineEdit>("Edit2");
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("10.0.0."));
    Click("SpeedButton5");
    ASSERT_EQ(host.Boxes.size(), 1u);
    EXPECT_EQ(host.Boxes[0].Text, "'' is not a valid integer value");
    EXPECT_EQ(host.Boxes[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(ctx.Session.Link.DeviceIp, "127.0.77.1");
    EXPECT_EQ(Text("Label4"), QStringLiteral("Get Device Linked!!"));
    EXPECT_EQ(Panel("StatusBar1", 1), QStringLiteral("IP: 127.0.77.1"));
}

}  // namespace
}  // namespace kstbell
