#include "cli/help_text.h"

#include <sstream>

namespace kstbell::cli {

namespace {

constexpr std::size_t kWidth = 92;

const char* const kJsonPart =
    R"(
JSON (--json): one object per device and line, as each device finishes:
  {"device":"ADDR","ok":true,"result":{...}}
  {"device":"ADDR","ok":false,"error":{"kind":K,"message":"..."}}
  K: unreachable, no_reply, refused (+ "status": the status byte), not_located, busy,
     invalid_input, verify_failed (+ "device_sum", "image_sum" for an image),
     socket_error, interrupted; "path" names the device file, image or snapshot,
     "bytes_sent"/"bytes_total" a broken data transfer.
  Device texts (location, SSIDs) are strings when they are UTF-8; otherwise U+FFFD stands
  for the other bytes and KEY_hex holds every byte in hexadecimal.
)"
#ifdef KSTBELL_SERVICE_CLIENT
    R"(  The verbs of the site service (--service) name it instead of a device:
  {"service":"URL","ok":true,"result":{...}}, lists one object per line; K is the API's
  kind, also unauthenticated, forbidden, not_found, conflict, rate_limited, starting,
  internal, with "status", the HTTP status, when the service answered.
)"
#endif
    R"(result by verb:
)";

const char* const kExitPart =
    R"(
Exit codes: 0 every device succeeded; 1 any other or mixed failure (config diff: a device
differs; a question answered no); 2 usage error (also a changing verb without a terminal and
without --yes, a file or value refused before any device was asked); 3 every failure was
unreachable (scan: no horn answered); 4 every failure was refused; 5 every failure was
verify_failed; 130 interrupted: each device not done is told ("kind":"interrupted") with what
was done; a second interrupt ends the program at once, unless a file or image is being sent,
which is finished first. watch ends with 0 when interrupted.
)"
#ifdef KSTBELL_SERVICE_CLIENT
    R"(The verbs of the site service: 2 also for a value it refused (invalid_input, not_found);
3 no connection to it; 4 it refused the token (unauthenticated) or its role (forbidden);
1 any other failure, such as no answer within --timeout (default 15 s there).
)"
#endif
    R"(
scan probes up to 256 addresses at once unless --parallel is given, so a range of
addresses that accept but never answer takes about one reply wait; watch polls up to 16
devices at once unless --parallel is given.
)";

// "  first: text" wrapped at kWidth, later lines indented by four.
std::string Wrapped(const std::string& first, std::string_view text) {
    std::string out = "  " + first + ":";
    std::size_t column = out.size();
    std::istringstream words{std::string(text)};
    for (std::string word; words >> word;) {
        if (column + 1 + word.size() > kWidth) {
            out += "\n    " + word;
            column = 4 + word.size();
        } else {
            out += " " + word;
            column += 1 + word.size();
        }
    }
    return out + "\n";
}

}  // namespace

const char* const kHelpDescription =
    "kstbellctl: the command line for the Wi-Fi alarm horns (model 186) on TCP port 13577.\n"
    "Devices: -d ADDR or -d A.B.C.D/N (repeatable), --devices FILE, else 192.168.77.1, which\n"
    "this PC must reach over its Wi-Fi (checked as the desktop program checks it; with -d or\n"
    "--devices only with --check-wifi). Up to --parallel devices are worked on at once;\n"
    "results are printed as they come. set, config apply, wifi-mode, reboot, reset-default and\n"
    "firmware ask first on a terminal, and refuse without one unless --yes is given."
#ifdef KSTBELL_SERVICE_CLIENT
    "\nWith --service URL --token-file FILE, ring, stop-all, alarm, bells and log ask a running\n"
    "site service (kstbelld) through its HTTP API instead; it reaches the horns itself."
#endif
    ;

std::string HelpFooter(const std::vector<std::unique_ptr<TVerb>>& verbs) {
    // Verbs with the same result share one entry, named together where the first of them is.
    std::vector<std::pair<std::string, std::string_view>> entries;
    for (const auto& verb : verbs) {
        const TVerbInfo& info = verb->Info();
        bool shared = false;
        for (auto& [names, result] : entries)
            if (result == info.Result) {
                names += ", " + std::string(info.Name);
                shared = true;
            }
        if (!shared) entries.emplace_back(std::string(info.Name), info.Result);
    }
    std::string footer = kJsonPart;
    for (const auto& [names, result] : entries)
        footer += Wrapped(names, result);
    return footer + kExitPart;
}

}  // namespace kstbell::cli
