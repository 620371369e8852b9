#pragma once

// The host services on Qt: message boxes, the file-open dialog, plain sleeps, the event pump
// and the immediate repaint of the open windows.

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "shell/host_services.h"

namespace kstbell {

// Turns a filter of "name|pattern" pairs ("bin|*.bin", patterns separated by ';') into the Qt
// form ("bin (*.bin)"), pairs separated by ";;".
QString ToQtFileFilter(const std::string& filter);
// Appends the default extension to a chosen path that has none.
std::string WithDefaultExtension(const std::string& path, const std::string& defaultExt);

class TQtHostServices : public IHostServices {
  public:
    TQtHostServices() = default;
    TQtHostServices(const TQtHostServices&) = delete;
    TQtHostServices& operator=(const TQtHostServices&) = delete;

    // The main window is created after the services: boxes are centred on it, and render
    // redraws it from the window state after events ran and before a repaint.
    void SetMainWindow(QWidget* window, std::function<void()> render);

    TMsgResult MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons,
                          TMsgIcon icon) override;
    std::optional<std::string> OpenFileDialog(const std::string& filter,
                                              const std::string& defaultExt) override;
    void Sleep(int ms) override;
    void PumpEvents() override;
    void Repaint() override;

  private:
    void RenderWindow();

    QPointer<QWidget> window_;
    std::function<void()> render_;
    static constexpr qint64 kRenderEveryMs = 16;
    QElapsedTimer sinceRender_;
};

}  // namespace kstbell
