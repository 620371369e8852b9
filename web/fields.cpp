#include "web/fields.h"

#include <charconv>
#include <cmath>
#include <set>

#include "text/control.h"
#include "web/time_text.h"

namespace kstbell::web {

namespace {

using nlohmann::json;

// Items of a list of strings: names, addresses, kinds.
constexpr std::size_t kMaxItemBytes = 200;

struct TTooDeep {};
struct TDuplicateKey {
    std::string Key;
};

std::string Number(double value) {
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        return std::to_string(static_cast<long long>(value));
    }
    json j = value;
    return j.dump();
}

std::string Range(const TField& field, const std::string& unit = {}) {
    if (field.Min && field.Max)
        return " from " + Number(*field.Min) + " to " + Number(*field.Max) + unit;
    if (field.Min) return " of at least " + Number(*field.Min) + unit;
    if (field.Max) return " of at most " + Number(*field.Max) + unit;
    return {};
}

bool InRange(const TField& field, double value) {
    return (!field.Min || value >= *field.Min) && (!field.Max || value <= *field.Max);
}

std::string ChoicesText(const TField& field) {
    std::string out;
    for (const auto& choice : field.Choices)
        out += (out.empty() ? "" : ", ") + choice;
    return out;
}

// The problem with one value, if any: "must be ...".
std::optional<std::string> CheckValue(const TField& field, const json& value) {
    switch (field.Type) {
        case TFieldType::String: {
            if (!value.is_string()) return "must be a string";
            const auto& s = value.get_ref<const std::string&>();
            if (!field.Secret && text::HasControlByte(s)) return "must not hold control characters";
            if (!field.Choices.empty()) {
                for (const auto& choice : field.Choices) {
                    if (s == choice) return std::nullopt;
                }
                return "must be one of: " + ChoicesText(field);
            }
            if (!InRange(field, static_cast<double>(s.size()))) {
                return "must be a string" + Range(field, " bytes long");
            }
            return std::nullopt;
        }
        case TFieldType::Integer:
            if (!value.is_number_integer() ||
                !InRange(field, value.is_number_unsigned()
                                    ? static_cast<double>(value.get<std::uint64_t>())
                                    : static_cast<double>(value.get<std::int64_t>()))) {
                return "must be an integer" + Range(field);
            }
            return std::nullopt;
        case TFieldType::Number:
            if (!value.is_number() || !std::isfinite(value.get<double>()) ||
                !InRange(field, value.get<double>())) {
                return "must be a number" + Range(field);
            }
            return std::nullopt;
        case TFieldType::Boolean:
            if (!value.is_boolean()) return "must be true or false";
            return std::nullopt;
        case TFieldType::StringList: {
            if (!value.is_array()) return "must be a list of strings";
            if (!InRange(field, static_cast<double>(value.size()))) {
                return "must be a list" + Range(field, " items long");
            }
            for (const auto& item : value) {
                if (!item.is_string()) return "must be a list of strings";
                const auto& s = item.get_ref<const std::string&>();
                if (s.empty() || s.size() > kMaxItemBytes || text::HasControlByte(s)) {
                    return "must hold strings of 1 to " + std::to_string(kMaxItemBytes) +
                           " bytes without control characters";
                }
            }
            return std::nullopt;
        }
        case TFieldType::Date:
            if (!value.is_string() || !ParseDate(value.get_ref<const std::string&>())) {
                return "must be a date like 2027-01-07";
            }
            return std::nullopt;
        case TFieldType::Instant:
            if (!value.is_string() || !ParseInstant(value.get_ref<const std::string&>())) {
                return "must be a time like 2027-01-07T08:00:00Z";
            }
            return std::nullopt;
        case TFieldType::Object:
            if (!value.is_object()) return "must be an object";
            return std::nullopt;
        case TFieldType::List:
            if (!value.is_array()) return "must be a list";
            return std::nullopt;
    }
    return "has a type this program does not know";
}

const TField* Find(const TFields& fields, std::string_view name) {
    for (const auto& field : fields) {
        if (field.Name == name) return &field;
    }
    return nullptr;
}

std::optional<std::string> Check(const json& object, const TFields& fields, std::string_view what) {
    const std::string prefix(what);
    for (const auto& [key, value] : object.items()) {
        const auto* field = Find(fields, key);
        if (!field) return prefix + " '" + key + "': not allowed";
        if (auto problem = CheckValue(*field, value)) return prefix + " '" + key + "': " + *problem;
    }
    for (const auto& field : fields) {
        if (field.Required && !object.contains(field.Name)) {
            return prefix + " '" + field.Name + "': required";
        }
    }
    return std::nullopt;
}

// A query value as the field's type; a value of the wrong form stays a string, which the
// check then names.
json QueryValue(const TField& field, const std::string& text) {
    switch (field.Type) {
        case TFieldType::Integer: {
            std::int64_t value = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (ec == std::errc() && end == text.data() + text.size() && !text.empty()) {
                return value;
            }
            return text;
        }
        case TFieldType::Number: {
            double value = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (ec == std::errc() && end == text.data() + text.size() && !text.empty()) {
                return value;
            }
            return text;
        }
        case TFieldType::Boolean:
            if (text == "true" || text == "1") return true;
            if (text == "false" || text == "0") return false;
            return text;
        default:
            return text;
    }
}

}  // namespace

std::optional<json> ParseJsonObject(std::string_view text, std::string& error) {
    if (text.empty()) {
        error = "the body is empty; a JSON object is expected";
        return std::nullopt;
    }
    std::vector<std::set<std::string>> keys;
    const json::parser_callback_t callback = [&keys](int depth, json::parse_event_t event,
                                                     json& parsed) {
        switch (event) {
            case json::parse_event_t::object_start:
            case json::parse_event_t::array_start:
                if (depth >= kMaxJsonDepth) throw TTooDeep{};
                if (event == json::parse_event_t::object_start) keys.emplace_back();
                break;
            case json::parse_event_t::key:
                if (!keys.back().insert(parsed.get<std::string>()).second) {
                    throw TDuplicateKey{parsed.get<std::string>()};
                }
                break;
            case json::parse_event_t::object_end:
                if (!keys.empty()) keys.pop_back();
                break;
            default:
                break;
        }
        return true;
    };
    json value;
    try {
        value = json::parse(text.begin(), text.end(), callback);
    } catch (const json::parse_error& e) {
        // The library's text quotes what it last read, which may be part of a password: keep
        // where and why, drop the quote.
        std::string what = e.what();
        const auto start = what.find("] ");
        std::string reason = start == std::string::npos ? what : what.substr(start + 2);
        const auto quote = reason.find("; last read: '");
        if (quote != std::string::npos) {
            const auto expected = reason.rfind("; expected ");
            std::string tail = expected != std::string::npos && expected > quote
                                   ? reason.substr(expected)
                                   : std::string();
            reason = reason.substr(0, quote) + tail;
        }
        error = "malformed JSON (byte " + std::to_string(e.byte) + "): " + reason;
        return std::nullopt;
    } catch (const json::exception&) {
        // A number too large for a double ("1e444").
        error = "malformed JSON: a number is out of range";
        return std::nullopt;
    } catch (const TTooDeep&) {
        error = "malformed JSON: nested deeper than " + std::to_string(kMaxJsonDepth) + " levels";
        return std::nullopt;
    } catch (const TDuplicateKey& duplicate) {
        error = "key '" + duplicate.Key + "': given more than once";
        return std::nullopt;
    }
    if (!value.is_object()) {
        error = "the body must be a JSON object";
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> CheckObject(const json& object, const TFields& fields) {
    return Check(object, fields, "key");
}

std::optional<json> ReadQuery(const TQueryPairs& pairs, const TFields& fields,
                              std::string_view what, std::string& error) {
    json object = json::object();
    const std::string prefix(what);
    for (const auto& [name, text] : pairs) {
        const auto* field = Find(fields, name);
        if (!field) {
            error = prefix + " '" + name + "': not allowed";
            return std::nullopt;
        }
        if (field->Type == TFieldType::StringList) {
            auto& list = object[name];
            if (list.is_null()) list = json::array();
            std::size_t start = 0;
            while (start <= text.size()) {
                const auto comma = text.find(',', start);
                list.push_back(
                    text.substr(start, comma == std::string::npos ? comma : comma - start));
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
            continue;
        }
        if (object.contains(name)) {
            error = prefix + " '" + name + "': given more than once";
            return std::nullopt;
        }
        object[name] = QueryValue(*field, text);
    }
    if (auto problem = Check(object, fields, prefix)) {
        error = *problem;
        return std::nullopt;
    }
    return object;
}

json FieldSchema(const TField& field) {
    json schema;
    switch (field.Type) {
        case TFieldType::String:
            schema["type"] = "string";
            if (!field.Choices.empty()) schema["enum"] = field.Choices;
            if (field.Min) schema["minLength"] = static_cast<long long>(*field.Min);
            if (field.Max) schema["maxLength"] = static_cast<long long>(*field.Max);
            if (field.Secret) schema["format"] = "password";
            break;
        case TFieldType::Integer:
        case TFieldType::Number:
            schema["type"] = field.Type == TFieldType::Integer ? "integer" : "number";
            if (field.Min) schema["minimum"] = *field.Min;
            if (field.Max) schema["maximum"] = *field.Max;
            break;
        case TFieldType::Boolean:
            schema["type"] = "boolean";
            break;
        case TFieldType::StringList:
            schema["type"] = "array";
            schema["items"] = {{"type", "string"}, {"minLength", 1}, {"maxLength", kMaxItemBytes}};
            if (field.Min) schema["minItems"] = static_cast<long long>(*field.Min);
            if (field.Max) schema["maxItems"] = static_cast<long long>(*field.Max);
            break;
        case TFieldType::Date:
            schema = {{"type", "string"}, {"format", "date"}};
            break;
        case TFieldType::Instant:
            schema = {{"type", "string"}, {"format", "date-time"}};
            break;
        case TFieldType::Object:
            schema["type"] = "object";
            break;
        case TFieldType::List:
            schema["type"] = "array";
            schema["items"] = json::object();
            break;
    }
    if (!field.Description.empty()) schema["description"] = field.Description;
    return schema;
}

json ObjectSchema(const TFields& fields) {
    json schema = {{"type", "object"}, {"additionalProperties", false}};
    schema["properties"] = json::object();
    json required = json::array();
    for (const auto& field : fields) {
        schema["properties"][field.Name] = FieldSchema(field);
        if (field.Required) required.push_back(field.Name);
    }
    if (!required.empty()) schema["required"] = required;
    return schema;
}

}  // namespace kstbell::web
