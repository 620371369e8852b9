#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/host_services.h"

namespace kstbell::test {

struct TShownBox {
    std::string Text;
    std::string Caption;
    TMsgButtons Buttons;
    TMsgIcon Icon;
};

// Host services for tests: records every box and answers from a script, so no test blocks on
// a modal dialog. Sleeps are recorded, never waited.
class TFakeHost : public IHostServices {
  public:
    TMsgResult MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons,
                          TMsgIcon icon) override;
    std::optional<std::string> OpenFileDialog(const std::string& filter,
                                              const std::string& defaultExt) override;
    void Sleep(int ms) override {
        Sleeps.push_back(ms);
        if (OnSleep) OnSleep(ms);
    }
    void PumpEvents() override;
    void Repaint() override { ++Repaints; }

    // Answers for the next Yes/No boxes, in order; one without a scripted answer gets No.
    // A box with only OK is answered OK.
    std::deque<TMsgResult> Answers;
    std::deque<std::optional<std::string>> FileAnswers;
    std::vector<TShownBox> Boxes;
    std::vector<std::pair<std::string, std::string>> FileDialogs;  // filter, extension
    std::vector<int> Sleeps;
    int Repaints = 0;
    int Pumps = 0;
    // Runs on every pump, to act like a click or tick arriving mid-transaction.
    std::function<void()> OnPump;
    // Runs while a box is open, to act like events in the box's own event loop.
    std::function<void()> OnBox;
    // Runs at every pause, with its length.
    std::function<void(int)> OnSleep;
};

}  // namespace kstbell::test
