// set ap: the access point's SSID, open or with a WPA/WPA2 key from a file.

#include <CLI/CLI.hpp>

#include "cli/one_setting.h"

namespace kstbell::cli {

namespace {

class TSetAp final : public TVerb {
  public:
    TSetAp()
        : TVerb(
              {"set ap", "the access point's SSID, open or with a WPA/WPA2 key", kSetResultHelp}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("SSID", ssid_, "the SSID (1 to 31 bytes)")->type_name("SSID")->required();
        verb.add_option("--key-file", keyFile_, "the key (8 to 16 bytes); without it: open")
            ->type_name("FILE");
    }

    int Run(TVerbContext& c) override {
        return WriteOneSetting(c, CredentialsSetting(true, ssid_, keyFile_, "wpa"));
    }

  private:
    std::string ssid_;
    std::string keyFile_;
};

}  // namespace

std::unique_ptr<TVerb> MakeSetApVerb() {
    return std::make_unique<TSetAp>();
}

}  // namespace kstbell::cli
