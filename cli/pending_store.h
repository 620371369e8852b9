#pragma once

// What this PC wrote to each device since the device last restarted. The device reports the
// values it runs with until it restarts, and its protocol reads no stored file back, so the only
// way to tell a value that waits for the next restart is to remember having written it. Kept per
// device (address and port) in a folder, as a snapshot of the settings written, without keys.
// A value the device reports as running is forgotten; so is everything once a restart is sent.
// Another PC, or the desktop program, may have written too: such values are unknown here.

#include <cstdint>
#include <string>

#include "cli/config_settings.h"

namespace kstbell::cli {

class TPendingStore {
  public:
    // folder empty: nothing is kept (each run starts knowing nothing).
    TPendingStore(std::string folder, std::uint16_t port);

    // The values written to address since its last restart that it may not run with yet: those
    // it reports in running are dropped from the record.
    TSettings Pending(const std::string& address, const TSettings& running) const;
    // Adds the settings of written (keys left out) to the record.
    void Written(const std::string& address, const TSettings& written) const;
    // A restart was sent: whatever was written is in force, or gone.
    void Restarted(const std::string& address) const;

  private:
    std::string FileOf(const std::string& address) const;
    TSettings Load(const std::string& address) const;
    void Store(const std::string& address, const TSettings& pending) const;

    std::string folder_;
    std::uint16_t port_;
};

}  // namespace kstbell::cli
