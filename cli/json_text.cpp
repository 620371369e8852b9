#include "cli/json_text.h"

#include "cli/text_safety.h"

namespace kstbell::cli {

void PutText(nlohmann::ordered_json& object, const std::string& key, std::string_view bytes) {
    if (IsValidUtf8(bytes)) {
        object[key] = std::string(bytes);
        return;
    }
    object[key] = ToValidUtf8(bytes);
    object[key + "_hex"] = HexOf(bytes);
}

bool GetText(const nlohmann::ordered_json& object, const std::string& key, std::string& bytes,
             std::string& error) {
    const auto text = object.find(key);
    const auto hex = object.find(key + "_hex");
    if (text != object.end() && !text->is_string()) {
        error = "\"" + key + "\" is not a string";
        return false;
    }
    if (hex == object.end()) {
        if (text == object.end()) {
            error = "\"" + key + "\" is missing";
            return false;
        }
        bytes = text->get<std::string>();
        return true;
    }
    const auto decoded = hex->is_string() ? BytesOfHex(hex->get<std::string>()) : std::nullopt;
    if (!decoded) {
        error = "\"" + key + "_hex\" is not a string of hexadecimal byte pairs";
        return false;
    }
    // The text is what PutText made of the same bytes; anything else is a file edited in one
    // place and not the other.
    if (text != object.end() && text->get<std::string>() != ToValidUtf8(*decoded)) {
        error = "\"" + key + "\" and \"" + key + "_hex\" disagree";
        return false;
    }
    bytes = *decoded;
    return true;
}

std::string JsonLine(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace kstbell::cli
