#pragma once

// The payloads of the command topics, read without trusting them: a siren command as JSON
// ({"state":"ON","tone":2}, the tone also as the text "2" of an offered tone, and where the
// siren takes one a "duration" in whole seconds) or as the plain text ON or OFF; a button press
// as PRESS or nothing. A JSON payload may carry an "id" that the command's result repeats.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kstbell::mqtt {

inline constexpr std::uint8_t kToneCount = 4;  // tones 0 to 3
// Longer payloads are refused before they are parsed.
inline constexpr std::size_t kMaxCommandPayload = 1024;

// A command's own id, which its result carries back: a JSON string of at most this many bytes,
// or an integer.
inline constexpr std::size_t kMaxCommandId = 128;

// Durations are read up to this many seconds; a longer one is taken as this long (and then
// shortened to the site's longest ring like any other).
inline constexpr std::uint32_t kMaxDurationSeconds = 86400;

struct TSirenRequest {
    bool On = false;
    std::optional<std::uint8_t> Tone;        // none: keep the last one
    std::optional<std::uint32_t> DurationS;  // none: until OFF (at most the longest ring)
    std::string Id;                          // the "id" as JSON text; empty when none
};

// True with the request, or false with the reason in error. A "duration" (an integer from 1)
// is read only when allowDuration; otherwise it is refused, since the bridge could not honour
// it.
bool ParseSirenPayload(std::string_view payload, TSirenRequest& request, std::string& error,
                       bool allowDuration = false);

// True for a press (empty, PRESS in any case, blanks around it allowed, or a JSON object with
// just an "id"); false with the reason otherwise. id: the "id" as JSON text, or empty.
bool ParsePressPayload(std::string_view payload, std::string& id, std::string& error);

}  // namespace kstbell::mqtt
