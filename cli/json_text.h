#pragma once

// Device texts in JSON. JSON strings are Unicode, device texts are bytes: a text that is valid
// UTF-8 is written as a plain string; any other is written as a string with U+FFFD in place of
// the bytes that are not UTF-8, and with every byte exactly under the same key with "_hex"
// appended, so that nothing is lost and the document stays valid.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kstbell::cli {

void PutText(nlohmann::ordered_json& object, const std::string& key, std::string_view bytes);

// Reads what PutText wrote (or a plain string): key + "_hex" when present, else key. False,
// with the reason, when neither is there, a value is not of its kind, or both are there and
// the text is not what PutText makes of the bytes.
bool GetText(const nlohmann::ordered_json& object, const std::string& key, std::string& bytes,
             std::string& error);

// A JSON document as one line; strings that are not UTF-8 (file names, system texts) get
// U+FFFD instead of failing.
std::string JsonLine(const nlohmann::ordered_json& value);

}  // namespace kstbell::cli
