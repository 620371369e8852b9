// kstbellctl's snapshot files as anybody might write or edit them.
//
// Input: the bytes of a snapshot file. Reading it never crashes or throws: it gives settings or
// a reason. Settings that were read are written out as a snapshot again and read back the same.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/config_settings.h"
#include "cli/snapshot_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kstbell;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    cli::TSettings settings;
    std::string error;
    const bool ok = cli::ReadSnapshotText(input, settings, error);
    FUZZ_CHECK(ok == error.empty());
    if (!ok) return 0;
    const nlohmann::ordered_json written{{"format", cli::kSnapshotFormat},
                                         {"settings", cli::SettingsJson(settings)}};
    const std::string text =
        written.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    cli::TSettings again;
    std::string againError;
    FUZZ_CHECK(cli::ReadSnapshotText(text, again, againError));
    FUZZ_CHECK(cli::SettingsJson(again) == cli::SettingsJson(settings));
    return 0;
}
