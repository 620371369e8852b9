// set static-ip: the station's static address, or off.

#include <CLI/CLI.hpp>

#include "cli/exit_codes.h"
#include "cli/one_setting.h"
#include "device/settings.h"
#include "protocol/device_info.h"

namespace kstbell::cli {

namespace {

class TSetStaticIp final : public TVerb {
  public:
    TSetStaticIp()
        : TVerb({"set static-ip", "the station's static address, or off", kSetResultHelp}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("IP_MASK_GATEWAY", args_, "IP MASK GATEWAY, or off")
            ->expected(1, 3)
            ->required();
    }

    int Run(TVerbContext& c) override {
        if (args_.size() == 2 || (args_.size() == 1 && args_[0] != "off")) {
            c.Report.Error("set static-ip takes IP MASK GATEWAY, or off");
            return kExitUsage;
        }
        return WriteOneSetting(c, args_.size() == 1 ? Off() : Address());
    }

  private:
    static TSetting Off() {
        TSetting s;
        s.Question = "Turn the station's static address off";
        s.Write = DeleteStaticAddress;
        s.Result = {{"setting", "static_ip"}, {"static_ip", nullptr}};
        s.Human = "static address removed";
        s.Written.StaticIp = TStaticSetting{};
        return s;
    }

    TSetting Address() const {
        TSetting s;
        TStaticAddress a;
        s.Check = ParseStaticAddress(args_.at(0), args_.at(1), args_.at(2), a);
        const std::string text = AddressText(a.Ip) + " mask " + AddressText(a.Mask) + " gateway " +
                                 AddressText(a.Gateway);
        s.Question = "Set the station's static address to " + text;
        s.Write = [a](TDeviceSession& d) { return WriteStaticAddress(d, a); };
        s.Result = {{"setting", "static_ip"},
                    {"static_ip",
                     {{"ip", AddressText(a.Ip)},
                      {"mask", AddressText(a.Mask)},
                      {"gateway", AddressText(a.Gateway)}}}};
        s.Human = "static address " + text + " written";
        s.Written.StaticIp = TStaticSetting{true, a};
        return s;
    }

    std::vector<std::string> args_;
};

}  // namespace

std::unique_ptr<TVerb> MakeSetStaticIpVerb() {
    return std::make_unique<TSetStaticIp>();
}

}  // namespace kstbell::cli
