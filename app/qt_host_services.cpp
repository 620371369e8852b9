#include "app/qt_host_services.h"

#include "app/byte_text.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QThread>
#include <filesystem>
#include <system_error>
#include <utility>

namespace kstbell {
namespace {

QMessageBox::Icon ToQtIcon(TMsgIcon icon) {
    switch (icon) {
        case TMsgIcon::Information:
            return QMessageBox::Information;
        case TMsgIcon::Warning:
            return QMessageBox::Warning;
        case TMsgIcon::Error:
            return QMessageBox::Critical;
        case TMsgIcon::Question:
            return QMessageBox::Question;
        case TMsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QString ToQtFileFilter(const std::string& filter) {
    const QStringList parts = FromBytes(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns)
            pattern = pattern.trimmed();
        entries.append(parts[i].trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}

std::string WithDefaultExtension(const std::string& path, const std::string& defaultExt) {
    // The extension may be given as a pattern ("*.bin") or with or without its dot.
    std::string ext = defaultExt;
    while (!ext.empty() && (ext.front() == '*' || ext.front() == '.'))
        ext.erase(0, 1);
    std::error_code ec;
    // A name that exists as chosen is taken as it is, extension or not.
    if (ext.empty() || path.empty() || std::filesystem::exists(path, ec)) return path;
    if (std::filesystem::path(path).has_extension()) return path;
    return path + "." + ext;
}

void TQtHostServices::SetMainWindow(QWidget* window, std::function<void()> render) {
    window_ = window;
    render_ = std::move(render);
    sinceRender_.invalidate();
}

TMsgResult TQtHostServices::MessageBox(const std::string& text, const std::string& caption,
                                       TMsgButtons buttons, TMsgIcon icon) {
    // The box belongs to the window in front, the setup window when it is open.
    QWidget* owner = QApplication::activeModalWidget();
    QMessageBox box(owner ? owner : window_.data());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(FromBytes(caption));
    // Texts may come from the device: never interpreted as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(FromBytes(text));
    box.setIcon(ToQtIcon(icon));
    if (buttons == TMsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? TMsgResult::Yes : TMsgResult::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return TMsgResult::Ok;
}

std::optional<std::string> TQtHostServices::OpenFileDialog(const std::string& filter,
                                                           const std::string& defaultExt) {
    const QString chosen = QFileDialog::getOpenFileName(
        QApplication::activeModalWidget() ? QApplication::activeModalWidget() : window_.data(),
        QString(), QString(), ToQtFileFilter(filter));
    if (chosen.isEmpty()) return std::nullopt;
    return WithDefaultExtension(QFile::encodeName(chosen).toStdString(), defaultExt);
}

void TQtHostServices::Sleep(int ms) {
    if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
}

void TQtHostServices::PumpEvents() {
    QCoreApplication::processEvents();
    // Socket waits pump often; showing the state some sixty times a second is plenty.
    if (!sinceRender_.isValid() || sinceRender_.elapsed() >= kRenderEveryMs) RenderWindow();
}

void TQtHostServices::Repaint() {
    // Shows the current state now, while no window events run: whatever changed since the last
    // paint (status texts, an open setup window's gauge) is painted at once; what did not
    // change is not painted again.
    RenderWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

void TQtHostServices::RenderWindow() {
    if (!window_ || !render_) return;
    render_();
    sinceRender_.start();
}

}  // namespace kstbell
