// Writes to the service's database in a loop until it is killed, and says on stdout what has
// been committed: "e SEQ" once the audit entry with detail SEQ is appended, "r ID SEQ" once
// the ring ID for that entry is recorded. Entries continue the sequence found in the log, one
// millisecond apart; every 300 entries the oldest are pruned, so a kill can land in a prune too.
//
// Usage: store_crash_writer STATE_DIR

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>

#include "store/store.h"

namespace {

using namespace kstbell::store;

const TUtcTime kBase = FromUnixMs(1'800'000'000'000);

void Say(const std::string& line) {
    // Unbuffered: what is said has happened, and nothing said is lost with the process.
    const std::string text = line + "\n";
    if (::write(STDOUT_FILENO, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        std::_Exit(3);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: store_crash_writer STATE_DIR\n");
        return 2;
    }
    try {
        TStore store(argv[1]);
        TAuditQuery last;
        last.Limit = 1;
        const TAuditPage page = store.Log().Query(last);
        long long seq = page.Entries.empty() ? 0 : std::stoll(page.Entries[0].Detail) + 1;
        for (;; ++seq) {
            TAuditEntry entry;
            entry.At = kBase + std::chrono::milliseconds(seq);
            entry.Kind = TAuditKind::BellFired;
            entry.Cause = TAuditCause::Schedule;
            entry.HornAddress = "10.0.0." + std::to_string(seq % 250 + 1);
            entry.Detail = std::to_string(seq);
            if (seq % 7 == 0) {
                TRingRecord ring;
                ring.Horns = {{entry.HornAddress, "", {}}, {"10.0.1.1", "", {}}};
                ring.Start = entry.At;
                ring.End = entry.At + std::chrono::seconds(5);
                ring.Cause = TAuditCause::Schedule;
                entry.RingId = store.Rings().Record(ring);
                Say("r " + std::to_string(*entry.RingId) + " " + std::to_string(seq));
            }
            store.Log().Append(entry);
            Say("e " + std::to_string(seq));
            if (seq % 300 == 299) {
                store.Log().PruneBefore(entry.At - std::chrono::milliseconds(200));
                store.State().SetTime("last_prune", entry.At);
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "store_crash_writer: %s\n", error.what());
        return 1;
    }
}
