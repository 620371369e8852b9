// Shows a small window with a caption and a label in Tahoma 11 px, waits until the window has
// been painted on screen, then saves two pictures and quits:
//   <out>.png         the widget rendered by itself (QWidget::grab)
//   <out>-screen.png  what the screen shows where the window is (QScreen::grabWindow), which
//                     proves the window really reached the display
// and prints on stdout the font family Qt resolved for "Tahoma" and the wall-clock time (ms
// since the epoch) of the first paint, so that the caller can tell how long start-up took.
// Usage: kstbell-qt-smoke.exe <out> [delay-ms]   Exit code 0 on success.
#include <QApplication>
#include <QDateTime>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace {

class PaintWatch : public QObject {
public:
  using QObject::QObject;
  qint64 firstPaintMs = 0;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Paint && firstPaintMs == 0) {
      firstPaintMs = QDateTime::currentMSecsSinceEpoch();
    }
    return QObject::eventFilter(watched, event);
  }
};

void print(const QString &line) {
  std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
  std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() < 2) {
    print(QStringLiteral("usage: kstbell-qt-smoke <out> [delay-ms]"));
    return 64;
  }
  const QString out = args.at(1);
  const int delayMs = args.size() > 2 ? args.at(2).toInt() : 500;

  QWidget window;
  window.setWindowTitle(QStringLiteral("kstbell smoke"));
  auto *layout = new QVBoxLayout(&window);
  auto *label = new QLabel(QStringLiteral("Alarm horn utility: Qt for Windows works"), &window);
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(11);
  label->setFont(font);
  layout->addWidget(label);
  window.setStyleSheet(QStringLiteral("QWidget { background: white; color: black; }"));

  PaintWatch watch;
  label->installEventFilter(&watch);
  window.show();

  const QFontInfo info(label->font());
  print(QStringLiteral("font-requested=Tahoma 11px"));
  print(QStringLiteral("font-resolved=%1 %2px exact=%3")
            .arg(info.family())
            .arg(info.pixelSize())
            .arg(info.exactMatch() ? QStringLiteral("yes") : QStringLiteral("no")));
  const QStringList families = QFontDatabase::families();
  print(QStringLiteral("font-families=%1 tahoma-listed=%2 default=%3")
            .arg(families.size())
            .arg(families.contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive) ? "yes" : "no")
            .arg(QFontInfo(QApplication::font()).family()));
  print(QStringLiteral("font-family-list=%1").arg(families.join(QLatin1Char(','))));
  print(QStringLiteral("style=%1 platform=%2")
            .arg(QApplication::style()->name(), QGuiApplication::platformName()));

  int status = 1;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (watch.firstPaintMs == 0) {
      return;
    }
    poll.stop();
    print(QStringLiteral("first-paint-epoch-ms=%1").arg(watch.firstPaintMs));
    QTimer::singleShot(delayMs, [&] {
      const bool own = window.grab().save(out + QStringLiteral(".png"));
      QScreen *screen = window.screen();
      const bool shown = screen != nullptr &&
                         screen->grabWindow(window.winId()).save(out + QStringLiteral("-screen.png"));
      print(QStringLiteral("saved-grab=%1 saved-screen=%2").arg(own).arg(shown));
      status = own && shown ? 0 : 1;
      QApplication::quit();
    });
  });
  poll.start(20);
  // Never hang: a window that is not painted within 30 s is a failure.
  QTimer::singleShot(30000, [&] {
    print(QStringLiteral("error: the window was not painted within 30 s"));
    QApplication::exit(2);
  });

  const int loop = QApplication::exec();
  return loop != 0 ? loop : status;
}
