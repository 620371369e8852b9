#include "service/command_line.h"

#include <charconv>

namespace kstbell::service {

const char* const kUsage =
    "usage: kstbelld [--config FILE] [--state-dir DIR] [--simulate N]\n"
    "       kstbelld --check-config [--config FILE] [--simulate N]\n"
    "       kstbelld --next N [--config FILE] [--simulate N]\n"
    "       kstbelld user|token ... [--state-dir DIR]   (kstbelld user --help)\n"
    "  --config FILE     the site file (default /etc/kstbell/site.toml; with --simulate and\n"
    "                    no --config: a demo site)\n"
    "  --state-dir DIR   the database's folder (default $STATE_DIRECTORY, else\n"
    "                    $XDG_STATE_HOME/kstbell or ~/.local/state/kstbell)\n"
    "  --simulate N      N simulated horns on 127.0.78.1 and up, in this process, in place of\n"
    "                    the file's devices; the HTTP front on 127.0.0.1:8786 (unless the\n"
    "                    file's [http] says otherwise) and a demo account, both printed\n"
    "  --check-config    check the site file, print what it holds, exit 0 (or 2)\n"
    "  --next N          print the next N bells (local time and UTC) and exit\n"
    "  --version         print the version\n"
    "  --help            print this\n";

namespace {

bool Count(const std::string& option, const std::string& value, std::size_t most, std::size_t& into,
           std::string& error) {
    std::size_t n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size() || n == 0 || n > most) {
        error = option + " needs a count from 1 to " + std::to_string(most);
        return false;
    }
    into = n;
    return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, TCommandLine& line,
                      std::string& error) {
    TCommandLine parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            parsed.Help = true;
            continue;
        }
        if (a == "--version") {
            parsed.Version = true;
            continue;
        }
        if (a == "--check-config") {
            parsed.CheckConfig = true;
            continue;
        }
        const bool takesValue =
            a == "--config" || a == "--state-dir" || a == "--simulate" || a == "--next";
        if (!takesValue) {
            error = "unknown option " + a;
            return false;
        }
        if (i + 1 >= args.size()) {
            error = a + " needs a value";
            return false;
        }
        const std::string& v = args[++i];
        if (a == "--config") {
            parsed.ConfigPath = v;
        } else if (a == "--state-dir") {
            parsed.StateDir = v;
        } else if (a == "--simulate") {
            if (!Count(a, v, kMaxSimulated, parsed.Simulate, error)) return false;
        } else if (!Count(a, v, kMaxNext, parsed.Next, error)) {
            return false;
        }
        if ((a == "--config" || a == "--state-dir") && v.empty()) {
            error = a + " needs a value";
            return false;
        }
    }
    if (parsed.CheckConfig && parsed.Next) {
        error = "--check-config and --next exclude each other";
        return false;
    }
    line = parsed;
    return true;
}

}  // namespace kstbell::service
