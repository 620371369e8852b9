// set location: the location text.

#include <CLI/CLI.hpp>

#include "cli/json_text.h"
#include "cli/one_setting.h"
#include "device/settings.h"

namespace kstbell::cli {

namespace {

class TSetLocation final : public TVerb {
  public:
    TSetLocation() : TVerb({"set location", "the location text (1 to 31 bytes)", kSetResultHelp}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("TEXT", text_, "the location")->type_name("TEXT")->required();
    }

    int Run(TVerbContext& c) override {
        TSetting s;
        s.Check = CheckLocation(text_);
        s.Question = "Set the location to " + QuotedText(text_);
        s.Write = [text = text_](TDeviceSession& d) { return WriteLocation(d, text); };
        s.Result = {{"setting", "location"}};
        PutText(s.Result, "location", text_);
        s.Human = "location " + QuotedText(text_) + " written";
        s.Written.Location = text_;
        return WriteOneSetting(c, std::move(s));
    }

  private:
    std::string text_;
};

}  // namespace

std::unique_ptr<TVerb> MakeSetLocationVerb() {
    return std::make_unique<TSetLocation>();
}

}  // namespace kstbell::cli
