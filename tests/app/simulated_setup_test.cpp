// The setup window opened from the real main window, wired to the in-process simulator as
// `kstbell --simulate` wires it: the readout of the simulator's configuration, a commit, and
// the new value after the simulated horn restarts.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "app/main_window.h"
#include "app/setup_window.h"
#include "app/simulation.h"
#include "platform/tcp_client_posix.h"
#include "shell/context.h"
#include "shell/display.h"
#include "support/fake_host.h"
#include "support/sim_fixture.h"

namespace kstbell {
namespace {

class SimulatedSetupTest : public ::testing::Test {
  protected:
    SimulatedSetupTest() {
        simulation.Start();
        simulation.Wire(ctx);
        FormCreate(ctx, std::filesystem::temp_directory_path() / "kstbell-no-temp-here");
        window.show();
        QCoreApplication::processEvents();
        window.FormActivate();
        Tick();  // the queued information request identifies the device
    }
    void Tick() {
        window.Timer3Timer();
        QCoreApplication::processEvents();
    }
    template <typename W>
    W* In(QWidget& parent, const char* name) {
        W* w = parent.findChild<W*>(QString::fromUtf8(name));
        if (w == nullptr) ADD_FAILURE() << "no control " << name;
        return w;
    }
    // Opens the setup window from the main window; body runs while it is open, then it closes.
    void WithSetupOpen(const std::function<void(TForm2&)>& body) {
        bool ran = false;
        QTimer::singleShot(0, &window, [&] {
            TForm2& form = window.Setup();
            EXPECT_TRUE(form.isVisible());
            body(form);
            ran = true;
            form.reject();
        });
        In<QAbstractButton>(window, "Image1")->click();
        EXPECT_TRUE(ran);
    }

    TSimulation simulation;
    test::TFakeHost host;
    TPosixTcpClient tcp{host};
    TContext ctx{tcp, host, *simulation.Network};
    TForm1 window{ctx, host};
};

TEST_F(SimulatedSetupTest, ReadoutCommitAndRestart) {
    ASSERT_TRUE(ctx.Session.Flags.DeviceInfoValid);
    WithSetupOpen([&](TForm2& form) {
        EXPECT_FALSE(ctx.Session.Poll.PollEnabled);
        EXPECT_EQ(In<QLineEdit>(form, "Edit1")->text(), QStringLiteral("KST-06-QZ-603C01"));
        EXPECT_EQ(In<QLineEdit>(form, "Edit5")->text(), QStringLiteral("Office"));
        EXPECT_EQ(In<QLineEdit>(form, "Edit7")->text(), QStringLiteral("502"));
        EXPECT_EQ(In<QLineEdit>(form, "Edit12")->text(), QStringLiteral("120"));
        EXPECT_TRUE(In<QRadioButton>(form, "RadioButton6")->isChecked());  // access point
        EXPECT_TRUE(In<QRadioButton>(form, "RadioButton1")->isChecked());  // open

        auto* location = In<QLineEdit>(form, "Edit5");
        location->selectAll();
        QTest::keyClicks(location, QStringLiteral("Dock 4"));
        host.Answers = {TMsgResult::Yes};
        In<QAbstractButton>(form, "Image6")->click();
    });
    ASSERT_EQ(host.Boxes.size(), 2u);
    EXPECT_EQ(host.Boxes[0].Text, "Modify Location string, execute?\n    . Location: Dock 4.\n");
    EXPECT_EQ(host.Boxes[1].Text,
              "Location string write complete,\n    . Manual Reboot to take effect!");
    ASSERT_TRUE(test::SimFileIs(*simulation.Device, "/local/locate.cfg",
                                std::vector<std::uint8_t>{'D', 'o', 'c', 'k', ' ', '4'}));

    // Closing asked for fresh information and resumed polling; the horn still runs the old
    // location until it restarts.
    EXPECT_TRUE(ctx.Session.Poll.PollEnabled);
    EXPECT_EQ(ctx.Session.Poll.QueuedCode, CMD_GET_DEVICE_INFO);
    Tick();
    EXPECT_EQ(In<QLabel>(window, "Label5")->text(), QStringLiteral("Locate: Office"));
    simulation.Device->Restart();
    window.Image2Click();  // Refresh
    Tick();
    EXPECT_EQ(In<QLabel>(window, "Label5")->text(), QStringLiteral("Locate: Dock 4"));
}

}  // namespace
}  // namespace kstbell
