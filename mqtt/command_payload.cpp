#include "mqtt/command_payload.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>

namespace kstbell::mqtt {

namespace {

using nlohmann::json;

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameWord(std::string_view text, std::string_view word) {
    return text.size() == word.size() &&
           std::equal(text.begin(), text.end(), word.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == b;
           });
}

// ON or OFF in any case.
bool ReadState(std::string_view text, bool& on) {
    if (SameWord(text, "ON")) {
        on = true;
        return true;
    }
    if (SameWord(text, "OFF")) {
        on = false;
        return true;
    }
    return false;
}

bool ReadTone(const json& value, std::uint8_t& tone, std::string& error) {
    if (value.is_number_unsigned() || value.is_number_integer()) {
        const auto n = value.get<std::int64_t>();
        if (n >= 0 && n < kToneCount) {
            tone = static_cast<std::uint8_t>(n);
            return true;
        }
    } else if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + kToneCount) {
            tone = static_cast<std::uint8_t>(text[0] - '0');
            return true;
        }
    }
    error = "tone must be one of 0, 1, 2, 3";
    return false;
}

// The command's id, read before anything else so that even a refusal can name it.
bool ReadId(const json& object, std::string& id, std::string& error) {
    const auto found = object.find("id");
    if (found == object.end()) return true;
    const json& value = *found;
    const bool text =
        value.is_string() && value.get_ref<const std::string&>().size() <= kMaxCommandId;
    if (!text && !value.is_number_integer()) {
        error = "id must be a string of at most " + std::to_string(kMaxCommandId) +
                " bytes or an integer";
        return false;
    }
    id = value.dump(-1, ' ', false, json::error_handler_t::replace);
    return true;
}

bool ReadDuration(const json& value, std::uint32_t& seconds, std::string& error) {
    // The parser keeps every whole number from 0 up as unsigned, whatever its size.
    if (value.is_number_unsigned() && value.get<std::uint64_t>() >= 1) {
        seconds = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(value.get<std::uint64_t>(), kMaxDurationSeconds));
        return true;
    }
    error = "duration must be a whole number of seconds from 1";
    return false;
}

bool ReadObject(const json& object, TSirenRequest& request, std::string& error,
                bool allowDuration) {
    bool haveState = false;
    if (!ReadId(object, request.Id, error)) return false;
    for (const auto& [key, value] : object.items()) {
        if (key == "id") {
            continue;
        } else if (key == "state") {
            if (!value.is_string() || !ReadState(value.get_ref<const std::string&>(), request.On)) {
                error = "state must be \"ON\" or \"OFF\"";
                return false;
            }
            haveState = true;
        } else if (key == "tone") {
            std::uint8_t tone = 0;
            if (!ReadTone(value, tone, error)) return false;
            request.Tone = tone;
        } else if (key == "duration" && allowDuration) {
            std::uint32_t seconds = 0;
            if (!ReadDuration(value, seconds, error)) return false;
            request.DurationS = seconds;
        } else {
            // A duration or volume the horn cannot honour must not be dropped silently.
            error = "unsupported key \"" + key + "\"";
            return false;
        }
    }
    if (!haveState) {
        error = "state is missing";
        return false;
    }
    return true;
}

}  // namespace

bool ParseSirenPayload(std::string_view payload, TSirenRequest& request, std::string& error,
                       bool allowDuration) {
    request = {};
    if (payload.size() > kMaxCommandPayload) {
        error = "payload longer than " + std::to_string(kMaxCommandPayload) + " bytes";
        return false;
    }
    const std::string_view text = Trim(payload);
    if (ReadState(text, request.On)) return true;
    // Parsed without exceptions; the length bound keeps the parser's nesting shallow.
    const json parsed = json::parse(text.begin(), text.end(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        error = "expected ON, OFF or a JSON object with \"state\" and an optional \"tone\"";
        return false;
    }
    TSirenRequest read;
    const bool ok = ReadObject(parsed, read, error, allowDuration);
    request.Id = read.Id;  // a refusal names the command too
    if (!ok) return false;
    request = read;
    return true;
}

bool ParsePressPayload(std::string_view payload, std::string& id, std::string& error) {
    id.clear();
    const std::string_view text = Trim(payload);
    if (payload.size() > kMaxCommandPayload) {
        error = "payload longer than " + std::to_string(kMaxCommandPayload) + " bytes";
        return false;
    }
    if (text.empty() || SameWord(text, "PRESS")) return true;
    const json parsed = json::parse(text.begin(), text.end(), nullptr, false);
    if (!parsed.is_discarded() && parsed.is_object()) {
        if (!ReadId(parsed, id, error)) return false;
        for (const auto& [key, value] : parsed.items()) {
            if (key == "id") continue;
            error = "unsupported key \"" + key + "\"";
            return false;
        }
        return true;
    }
    error = "expected PRESS, an empty payload or a JSON object with an optional \"id\"";
    return false;
}

}  // namespace kstbell::mqtt
