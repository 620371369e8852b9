// set modbus: the Modbus TCP port and idle timeout.

#include <CLI/CLI.hpp>

#include "cli/one_setting.h"
#include "device/settings.h"

namespace kstbell::cli {

namespace {

class TSetModbus final : public TVerb {
  public:
    TSetModbus()
        : TVerb({"set modbus", "the Modbus TCP port and idle timeout (seconds)", kSetResultHelp}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("PORT", port_, "the Modbus TCP port, 1 to 65535 but neither 13577 nor 80")
            ->type_name("PORT")
            ->required();
        verb.add_option("TIMEOUT", timeout_, "the idle timeout, 1 to 65000 seconds")
            ->type_name("TIMEOUT")
            ->required();
    }

    int Run(TVerbContext& c) override {
        TSetting s;
        TModbusSettings m;
        s.Check = ParseModbusSettings(port_, timeout_, m);
        s.Question = "Set the Modbus port to " + std::to_string(m.Port) +
                     " and its idle timeout to " + std::to_string(m.IdleTimeout) + " s";
        s.Write = [m](TDeviceSession& d) { return WriteModbusSettings(d, m); };
        s.Result = {{"setting", "modbus"},
                    {"modbus_port", m.Port},
                    {"modbus_idle_timeout_s", m.IdleTimeout}};
        s.Human = "Modbus port " + std::to_string(m.Port) + ", idle timeout " +
                  std::to_string(m.IdleTimeout) + " s written";
        s.Written.Modbus = m;
        return WriteOneSetting(c, std::move(s));
    }

  private:
    std::string port_;
    std::string timeout_;
};

}  // namespace

std::unique_ptr<TVerb> MakeSetModbusVerb() {
    return std::make_unique<TSetModbus>();
}

}  // namespace kstbell::cli
