#pragma once

#include <optional>
#include <string>

namespace kstbell {

enum class TMsgButtons { Ok, YesNo };
enum class TMsgIcon { None, Information, Warning, Error, Question };
enum class TMsgResult { Ok, Yes, No };

// Runs pending window events; socket waits call it between their slices so that the window
// stays alive during a transaction.
class IEventPump {
  public:
    virtual ~IEventPump() = default;
    virtual void PumpEvents() = 0;
};

// What the core needs from the desktop: modal boxes, the file dialog, plain sleeps and
// repaints. The Qt program implements it with real dialogs; tests script the answers.
class IHostServices : public IEventPump {
  public:
    virtual TMsgResult MessageBox(const std::string& text, const std::string& caption,
                                  TMsgButtons buttons, TMsgIcon icon) = 0;
    // Returns the chosen path, or nothing when the operator cancels.
    virtual std::optional<std::string> OpenFileDialog(const std::string& filter,
                                                      const std::string& defaultExt) = 0;
    // A pause during which no window events run.
    virtual void Sleep(int ms) = 0;
    // Redraws the open windows at once.
    virtual void Repaint() = 0;
};

// The standard error box: the message of an error that an action raised, with the error icon.
inline constexpr const char* kErrorBoxCaption = "kstbell";
void ShowErrorBox(IHostServices& host, const std::string& message);

}  // namespace kstbell
