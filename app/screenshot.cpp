#include "app/screenshot.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QTimer>
#include <cstdio>

#include "app/main_window.h"
#include "app/setup_window.h"

namespace kstbell {

namespace {

constexpr int kDefaultDelayMs = 1500;
constexpr int kSetupDelayMs = 500;

// The window's texts, one per line: what a reader of the picture would read in it.
bool SaveTexts(QWidget& window, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QString texts = QStringLiteral("title: ") + window.windowTitle() + QLatin1Char('\n');
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->text().isEmpty() || label->window() != &window) continue;
        texts += label->objectName() + QStringLiteral(": ") + label->text() + QLatin1Char('\n');
    }
    if (const auto* headline = window.findChild<QLabel*>(QStringLiteral("Label4")))
        texts += QStringLiteral("font: ") + QFontInfo(window.font()).family() +
                 QStringLiteral(", headline ") + QFontInfo(headline->font()).family() +
                 QLatin1Char('\n');
    return file.write(texts.toUtf8()) >= 0;
}

bool Save(QWidget& window, const QString& path) {
    const bool saved = window.grab().save(path);
    if (!saved)
        std::fprintf(stderr, "kstbell: cannot save the screenshot to %s\n",
                     path.toLocal8Bit().constData());
    else
        std::printf("%s\n", path.toLocal8Bit().constData());
    std::fflush(stdout);
    return saved;
}

}  // namespace

void ArmScreenshot(QApplication& app, TForm1& window) {
    const QString path = qEnvironmentVariable("KSTBELL_SCREENSHOT");
    if (path.isEmpty()) return;
    const QString setupPath = qEnvironmentVariable("KSTBELL_SCREENSHOT_SETUP");
    bool ok = false;
    int delayMs = qEnvironmentVariableIntValue("KSTBELL_SCREENSHOT_DELAY_MS", &ok);
    if (!ok || delayMs < 0) delayMs = kDefaultDelayMs;
    QTimer::singleShot(delayMs, &window, [&app, &window, path, setupPath] {
        if (!Save(window, path) || !SaveTexts(window, path + QStringLiteral(".txt"))) {
            app.exit(1);
            return;
        }
        if (setupPath.isEmpty()) {
            app.exit(0);
            return;
        }
        // Saved from inside the setup window's own modal loop, which the exit ends as well.
        QTimer::singleShot(kSetupDelayMs, &window, [&app, &window, setupPath] {
            const bool saved = window.Setup().isVisible() && Save(window.Setup(), setupPath) &&
                               SaveTexts(window.Setup(), setupPath + QStringLiteral(".txt"));
            app.exit(saved ? 0 : 1);
        });
        window.Image1Click();
    });
}

}  // namespace kstbell
