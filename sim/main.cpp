// kstbell-sim: the device simulator as a stand-alone server, for trying the desktop program
// without hardware.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "sim/command_line.h"
#include "sim/simulated_site.h"
#include "sim/stop_request.h"

namespace {

using kstbell::sim::TSimulatedSite;
using kstbell::sim::TSiteOptions;

}  // namespace

int main(int argc, char** argv) {
    kstbell::sim::TCommandLine line;
    if (const auto exit =
            kstbell::sim::ParseCommandLine({argv + 1, argv + argc}, line, std::cout, std::cerr))
        return *exit;

    kstbell::sim::PrepareStopRequests();

    try {
        TSimulatedSite site(
            TSiteOptions{std::move(line.Options), line.Count, line.CountGiven, line.MacOffset});
        for (std::size_t i = 0; line.Input && i < site.Count(); ++i)
            site.SetInput(i, *line.Input);
        site.Start();
        if (site.Count() == 1) {
            std::cout << "kstbell-sim listening on " << site.Address(0) << ":" << site.Port()
                      << std::endl;
        } else {
            std::cout << "kstbell-sim serving " << site.Count() << " horns from " << site.Address(0)
                      << " to " << site.Address(site.Count() - 1) << " on port " << site.Port()
                      << std::endl;
        }
        kstbell::sim::WaitForStopRequest();
        site.Stop();
    } catch (const std::exception& error) {
        std::cerr << "kstbell-sim: " << error.what() << "\n";
        return kstbell::sim::kSimExitFailed;
    }
    return 0;
}
