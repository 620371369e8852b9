#include "app/qt_host_services.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace kstbell {
namespace {

TEST(QtFileFilterTest, ConvertsNamePatternPairs) {
    EXPECT_EQ(ToQtFileFilter("bin|*.bin"), QStringLiteral("bin (*.bin)"));
    EXPECT_EQ(ToQtFileFilter("Firmware|*.bin;*.img|All files|*.*"),
              QStringLiteral("Firmware (*.bin *.img);;All files (*.*)"));
    EXPECT_EQ(ToQtFileFilter(""), QString());
}

TEST(QtFileFilterTest, DefaultExtensionOnlyWhenTheNameHasNone) {
    EXPECT_EQ(WithDefaultExtension("/tmp/fw", "bin"), "/tmp/fw.bin");
    EXPECT_EQ(WithDefaultExtension("/tmp/fw", ".bin"), "/tmp/fw.bin");
    EXPECT_EQ(WithDefaultExtension("/tmp/fw.img", "bin"), "/tmp/fw.img");
    // A dot in a folder name is not an extension of the file.
    EXPECT_EQ(WithDefaultExtension("/tmp/v1.2/fw", "bin"), "/tmp/v1.2/fw.bin");
    EXPECT_EQ(WithDefaultExtension("/tmp/fw", ""), "/tmp/fw");
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
