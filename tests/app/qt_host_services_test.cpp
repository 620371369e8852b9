#include "app/qt_host_services.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace kstbell {
namespace {

TEST(QtFileFilterTest, ConvertsNamePatternPairs) {
    EXPECT_EQ(ToQtFileFilter("bin|*.bin"), QStringLiteral("bin (*.bin)"));
    EXPECT_EQ(ToQtFileFilter("Firmware|*.bin;*.img|All files|*.*"),
              QStringLiteral("Firmware (*.bin *.img);;All files (*.*)"));
    EXPECT_EQ(ToQtFileFilter(""), QString());
}

TEST(QtFileFilterTest, DefaultExtensionOnlyForATypedNameThatDoesNotExist) {
    // The dialog's default extension is given as a pattern; a file chosen as it exists is
    // uploaded as chosen, extension or not.
    const auto dir =
        std::filesystem::temp_directory_path() / ("kstbell-ext-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "v1.2");
    std::ofstream(dir / "fw") << "image";
    const std::string d = dir.string();
    struct Case {
        std::string path, ext, expected;
    };
    const Case cases[] = {
        {d + "/fw", "*.bin", d + "/fw"},  // exists without an extension
        {d + "/new", "*.bin", d + "/new.bin"},
        {d + "/new", ".bin", d + "/new.bin"},
        {d + "/new", "bin", d + "/new.bin"},
        {d + "/new.img", "*.bin", d + "/new.img"},
        {d + "/v1.2/new", "*.bin", d + "/v1.2/new.bin"},  // a dotted folder is no extension
        {d + "/new", "", d + "/new"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithDefaultExtension(c.path, c.ext), c.expected) << c.path << " " << c.ext;
    std::filesystem::remove_all(dir);
}

// Runs check on the message box once it is open; the check closes it.
void WhenBoxOpens(const std::function<void(QMessageBox&)>& check) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, check] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        poll->stop();
        poll->deleteLater();
        check(*box);
    });
    poll->start();
}

TEST(QtHostServicesTest, MessageBoxShowsPlainTextAndReportsTheAnswer) {
    TQtHostServices host;
    QString shownText;
    Qt::TextFormat format = Qt::AutoText;
    bool modal = false;
    WhenBoxOpens([&](QMessageBox& box) {
        shownText = box.text();
        format = box.textFormat();
        modal = box.windowModality() == Qt::ApplicationModal;
        box.button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(
        host.MessageBox("<b>Overwrite?</b>", "Confirm", TMsgButtons::YesNo, TMsgIcon::Question),
        TMsgResult::Yes);
    EXPECT_EQ(shownText, QStringLiteral("<b>Overwrite?</b>"));
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_TRUE(modal);

    WhenBoxOpens([](QMessageBox& box) { box.button(QMessageBox::No)->click(); });
    EXPECT_EQ(host.MessageBox("Go?", "Confirm", TMsgButtons::YesNo, TMsgIcon::Question),
              TMsgResult::No);

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenBoxOpens([&](QMessageBox& box) {
        icon = box.icon();
        box.button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(host.MessageBox("failed", "Error found!", TMsgButtons::Ok, TMsgIcon::Error),
              TMsgResult::Ok);
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(QtHostServicesTest, PumpAndRepaintRedrawTheWindow) {
    TQtHostServices host;
    host.PumpEvents();  // no window yet: nothing to redraw, nothing breaks
    host.Repaint();

    QWidget window;
    int renders = 0;
    host.SetMainWindow(&window, [&renders] { ++renders; });
    bool pumped = false;
    QTimer::singleShot(0, &window, [&pumped] { pumped = true; });
    host.PumpEvents();
    EXPECT_TRUE(pumped);
    EXPECT_EQ(renders, 1);
    host.Repaint();
    EXPECT_EQ(renders, 2);
}

// A widget that counts its paints.
class TPaintCounter : public QWidget {
  public:
    int Paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override { ++Paints; }
};

TEST(QtHostServicesTest, RepaintPaintsWhatChangedWithoutRunningEvents) {
    TQtHostServices host;
    TPaintCounter window;
    window.resize(50, 20);
    window.show();
    QCoreApplication::processEvents();
    host.SetMainWindow(&window, [] {});
    const int before = window.Paints;
    host.Repaint();  // nothing changed: nothing to paint
    EXPECT_EQ(window.Paints, before);
    bool ranEvents = false;
    QTimer::singleShot(0, &window, [&ranEvents] { ranEvents = true; });
    window.update();  // as a changed text or a moved gauge does
    host.Repaint();
    EXPECT_EQ(window.Paints, before + 1);
    EXPECT_FALSE(ranEvents);  // painted at once, no other event ran
}

}  // namespace
}  // namespace kstbell
