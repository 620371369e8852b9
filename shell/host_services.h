#pragma once

#include <optional>
#include <string>

#include "ports/host_ports.h"

namespace kstbell {

enum class TMsgButtons { Ok, YesNo };
enum class TMsgIcon { None, Information, Warning, Error, Question };
enum class TMsgResult { Ok, Yes, No };

// What the windows need from the desktop besides the event pump and the pauses: modal boxes,
// the file dialog and repaints. The Qt program implements it with real dialogs; tests script
// the answers.
class IHostServices : public IEventPump, public IPause {
  public:
    virtual TMsgResult MessageBox(const std::string& text, const std::string& caption,
                                  TMsgButtons buttons, TMsgIcon icon) = 0;
    // Returns the chosen path, or nothing when the operator cancels.
    virtual std::optional<std::string> OpenFileDialog(const std::string& filter,
                                                      const std::string& defaultExt) = 0;
    // Redraws the open windows at once.
    virtual void Repaint() = 0;
};

// The standard error box: the message of an error that an action raised, with the error icon.
inline constexpr const char* kErrorBoxCaption = "kstbell";
void ShowErrorBox(IHostServices& host, const std::string& message);

}  // namespace kstbell
