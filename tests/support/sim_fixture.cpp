#include "sim_fixture.h"

#include <thread>

namespace kstbell::test {

sim::TSimOptions TSimBench::DefaultOptions() {
    sim::TSimOptions options;
    options.BindAddress = "127.0.0.1";
    options.Port = 0;
    return options;
}

TSimBench::TSimBench(sim::TSimOptions options)
    : Sim(std::move(options)), Tcp(Host), Ctx(Tcp, Host, Network) {
    Sim.Start();
    Ctx.Session.Link.DeviceIp = "127.0.0.1";
    Ctx.Session.Locate.DeviceNetPrefix = "127.0.0.";
    Ctx.Session.Link.DevicePort = Sim.Port();
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

::testing::AssertionResult SimFileIs(const sim::TDeviceSimulator& sim, const std::string& path,
                                     const std::optional<std::vector<std::uint8_t>>& expected) {
    WaitUntil([&] { return sim.ReadFile(path) == expected; }, std::chrono::seconds(2));
    const auto actual = sim.ReadFile(path);
    if (actual == expected) return ::testing::AssertionSuccess();
    auto describe = [](const std::optional<std::vector<std::uint8_t>>& f) {
        return f ? std::to_string(f->size()) + " bytes" : std::string("no file");
    };
    return ::testing::AssertionFailure()
           << path << " holds " << describe(actual) << ", expected " << describe(expected);
}

}  // namespace kstbell::test
