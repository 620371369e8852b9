#include "fake_host.h"

namespace kstbell::test {

TMsgResult TFakeHost::MessageBox(const std::string& text, const std::string& caption,
                                 TMsgButtons buttons, TMsgIcon icon) {
    Boxes.push_back({text, caption, buttons, icon});
    if (OnBox) OnBox();
    if (buttons == TMsgButtons::Ok) return TMsgResult::Ok;
    if (!Answers.empty()) {
        TMsgResult answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    return buttons == TMsgButtons::YesNo ? TMsgResult::No : TMsgResult::Ok;
}

std::optional<std::string> TFakeHost::OpenFileDialog(const std::string& filter,
                                                     const std::string& defaultExt) {
    FileDialogs.emplace_back(filter, defaultExt);
    if (FileAnswers.empty()) return std::nullopt;
    auto answer = FileAnswers.front();
    FileAnswers.pop_front();
    return answer;
}

void TFakeHost::PumpEvents() {
    ++Pumps;
    if (OnPump) OnPump();
}

}  // namespace kstbell::test
