#pragma once

// One verb of kstbellctl as a unit: its name, its help, what its JSON result holds, what it works
// on, its own arguments and options, and what it does. The verbs are listed in verb_list.h.

#include <memory>
#include <string_view>

namespace CLI {
class App;
}

namespace kstbell::cli {

struct TVerbContext;

// What a verb works on.
enum class TVerbTarget {
    Devices,  // the devices of -d, --devices or the default one, resolved before it runs
    Own,      // nothing resolved for it: it names its own targets (scan's ranges) or none
    Service,  // the site service of --service, through its API; never a horn
};

struct TVerbInfo {
    // The words typed: "status", or a group and its verb, "config apply".
    std::string_view Name;
    // One line for --help.
    std::string_view Help;
    // The fields of its JSON "result", for --help.
    std::string_view Result;
    TVerbTarget Target = TVerbTarget::Devices;
};

class TVerb {
  public:
    explicit TVerb(const TVerbInfo& info) : info_(info) {}
    virtual ~TVerb() = default;
    TVerb(const TVerb&) = delete;
    TVerb& operator=(const TVerb&) = delete;

    const TVerbInfo& Info() const { return info_; }
    // Adds the verb's own arguments and options to its subcommand; they are stored in the verb.
    virtual void Declare(CLI::App& /*verb*/) {}
    // Reports every device's result and returns the exit code.
    virtual int Run(TVerbContext& c) = 0;

  private:
    TVerbInfo info_;
};

}  // namespace kstbell::cli
