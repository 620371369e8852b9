// set station: the station's SSID, open or with a WEP or WPA/WPA2 key from a file.

#include <CLI/CLI.hpp>

#include "cli/one_setting.h"

namespace kstbell::cli {

namespace {

class TSetStation final : public TVerb {
  public:
    TSetStation()
        : TVerb({"set station", "the station's SSID, open or with a key", kSetResultHelp}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("SSID", ssid_, "the SSID (1 to 31 bytes)")->type_name("SSID")->required();
        CLI::Option* key =
            verb.add_option("--key-file", keyFile_, "the key (8 to 16 bytes); without it: open")
                ->type_name("FILE");
        verb.add_option("--key-type", keyType_, "the key's type (default wpa)")
            ->check(CLI::IsMember({"wep", "wpa"}))
            ->needs(key);
    }

    int Run(TVerbContext& c) override {
        return WriteOneSetting(c, CredentialsSetting(false, ssid_, keyFile_, keyType_));
    }

  private:
    std::string ssid_;
    std::string keyFile_;
    std::string keyType_ = "wpa";
};

}  // namespace

std::unique_ptr<TVerb> MakeSetStationVerb() {
    return std::make_unique<TSetStation>();
}

}  // namespace kstbell::cli
