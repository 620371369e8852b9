// The windows for every user: names and descriptions for screen readers, the keyboard, and a
// screen of twice the pixel density.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <algorithm>

#include "app/main_window.h"
#include "app/setup_window.h"
#include "app/widgets.h"
#include "platform/survey_simulated.h"
#include "shell/context.h"
#include "shell/display.h"
#include "support/fake_host.h"
#include "support/fake_tcp.h"

namespace kstbell {
namespace {

struct AccessibilityTest : ::testing::Test {
    test::TFakeHost host;
    TSimulatedHostNetwork network{"192.168.77.23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01}};
    test::TFakeTcpClient tcp;
    TContext ctx{tcp, host, network};
    TForm1 window{ctx, host};

    QWidget* Find(QWidget& in, const char* name) {
        auto* w = in.findChild<QWidget*>(QString::fromUtf8(name));
        if (w == nullptr) ADD_FAILURE() << "no control " << name;
        return w;
    }
};

TEST_F(AccessibilityTest, PictureButtonsHaveHintNameAndDescription) {
    struct Case {
        QWidget* form;
        const char* control;
        const char* hint;
        const char* name;
    };
    QWidget& setup = window.Setup();
    const Case cases[] = {
        {&window, "Image1", "Setup", "Setup"},
        {&window, "Image3", "Find me", "Find me"},
        {&window, "Image2", "Refresh", "Refresh"},
        {&setup, "Image2", "Apply AP settings", "Apply AP settings"},
        {&setup, "Image3", "Apply station settings", "Apply station settings"},
        {&setup, "Image10", "Apply static IP", "Apply static IP"},
        {&setup, "Image5", "Apply WEB key", "Apply WEB key"},
        {&setup, "Image6", "Apply location", "Apply location"},
        {&setup, "Image9", "Apply Modbus TCP settings", "Apply Modbus TCP settings"},
        {&setup, "Image4", "Apply Wi-Fi mode", "Apply Wi-Fi mode"},
        {&setup, "Image7", "Reset to Default", "Reset to Default"},
        {&setup, "Image1", "Update F/W", "Update F/W"},
        {&setup, "Image8", "Reboot", "Reboot device"},
    };
    for (const auto& c : cases) {
        QWidget* w = Find(*c.form, c.control);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->toolTip(), QString::fromUtf8(c.hint)) << c.control;
        EXPECT_EQ(w->accessibleName(), QString::fromUtf8(c.name)) << c.control;
        EXPECT_FALSE(w->accessibleDescription().isEmpty()) << c.control;
        EXPECT_EQ(w->focusPolicy(), Qt::TabFocus) << c.control;
    }
}

TEST_F(AccessibilityTest, LampAndOutputBarTellTheirState) {
    auto* bar = Find(window, "Shape1");
    auto* lamp = Find(window, "Shape6");
    EXPECT_EQ(bar->accessibleDescription(), QStringLiteral("off"));
    EXPECT_EQ(lamp->accessibleDescription(), QStringLiteral("off"));
    ctx.Session.Flags.HasOutput = ctx.Session.Flags.HasInput = true;
    SetStates(ctx.Session, 1, 1);
    window.Render();
    EXPECT_EQ(bar->accessibleDescription(), QStringLiteral("on"));
    EXPECT_EQ(lamp->accessibleDescription(), QStringLiteral("on"));
    EXPECT_FALSE(bar->accessibleName().isEmpty());
    EXPECT_FALSE(lamp->accessibleName().isEmpty());
}

TEST_F(AccessibilityTest, TabFollowsTheReadingOrderAndEnterOrSpaceClick) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    EnableDeviceControls(ctx.Form1);
    window.Render();
    QWidget* first = Find(window, "Image1");
    first->setFocus(Qt::TabFocusReason);
    std::vector<QString> visited;
    for (int i = 0; i < 7; ++i) {
        visited.push_back(QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                      : QString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    const std::vector<QString> expected = {
        QStringLiteral("Image1"),       QStringLiteral("Image3"), QStringLiteral("Edit2"),
        QStringLiteral("SpeedButton5"), QStringLiteral("Image2"), QStringLiteral("ComboBox1"),
        QStringLiteral("SpeedButton4")};
    EXPECT_EQ(visited, expected);

    for (const char* name : {"Image2", "SpeedButton5"}) {
        auto* button = qobject_cast<QAbstractButton*>(Find(window, name));
        QSignalSpy clicked(button, &QAbstractButton::clicked);
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Return);
        QTest::keyClick(button, Qt::Key_Space);
        EXPECT_EQ(clicked.count(), 2) << name;
    }
    host.Boxes.clear();
}

// The headline's navy pixels in a screenshot of the simulated program: their bounding box.
QRect NavyPixels(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == QColor(0, 0, 0x80)) box |= QRect(x, y, 1, 1);
    return box;
}

QImage Screenshot(const QString& scale, const QString& path) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
    env.insert(QStringLiteral("KSTBELL_SCREENSHOT"), path);
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(KSTBELL_PROGRAM), {QStringLiteral("--simulate")});
    if (!program.waitForFinished(20000)) program.kill();
    return QImage(path);
}

TEST(HighDensityTest, TwiceThePixelsKeepTheLayout) {
    QTemporaryDir dir;
    const QImage one = Screenshot(QStringLiteral("1"), dir.filePath(QStringLiteral("one.png")));
    const QImage two = Screenshot(QStringLiteral("2"), dir.filePath(QStringLiteral("two.png")));
    ASSERT_EQ(one.size(), QSize(386, 248));
    ASSERT_EQ(two.size(), QSize(772, 496));
    // The headline sits where it did, every measure doubled (a pixel or two for the font).
    const QRect a = NavyPixels(one);
    const QRect b = NavyPixels(two);
    ASSERT_FALSE(a.isEmpty());
    ASSERT_FALSE(b.isEmpty());
    EXPECT_NEAR(b.left(), 2 * a.left(), 4);
    EXPECT_NEAR(b.top(), 2 * a.top(), 4);
    EXPECT_NEAR(b.width(), 2 * a.width(), 0.1 * b.width());
    EXPECT_NEAR(b.height(), 2 * a.height(), 6);
}

}  // namespace
}  // namespace kstbell
