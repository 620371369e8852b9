#include "cli/snapshot_reader.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <initializer_list>

#include "cli/device_fields.h"
#include "cli/json_text.h"
#include "protocol/address_text.h"

namespace kstbell::cli {

namespace {

using TJson = nlohmann::ordered_json;

// A failure at key (a path such as "settings.modbus"): "settings.modbus: why".
bool Fail(const std::string& key, const std::string& why, std::string& error) {
    error = key + ": " + why;
    return false;
}

// Every key of object is one of known (a text key also stands for its "_hex" twin).
bool OnlyKnownKeys(const TJson& object, const std::string& at,
                   std::initializer_list<std::string_view> known,
                   std::initializer_list<std::string_view> texts, std::string& error) {
    for (const auto& [key, value] : object.items()) {
        bool found = false;
        for (std::string_view k : known)
            found = found || key == k;
        for (std::string_view t : texts)
            found = found || key == t || key == std::string(t) + "_hex";
        if (!found)
            return Fail(at.empty() ? key : at + "." + key, "no snapshot has this key", error);
    }
    return true;
}

// The deepest nesting of objects and arrays in text, counted without parsing it: a text nested
// deeper than any snapshot is refused before a parser sees it.
bool NestedNoDeeperThan(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

bool ReadText(const TJson& object, const std::string& at, const char* key, std::string& out,
              std::string& error) {
    std::string why;
    if (!GetText(object, key, out, why)) return Fail(at, why, error);
    return true;
}

bool ReadCredentials(const TJson& j, const std::string& at, bool accessPoint, TCredentials& c,
                     std::string& error) {
    if (!j.is_object()) return Fail(at, "is not an object", error);
    if (!OnlyKnownKeys(j, at, {"key_type"}, {"ssid", "key"}, error)) return false;
    if (!ReadText(j, at, "ssid", c.Ssid, error)) return false;
    const auto type = j.find("key_type");
    const std::string name = type != j.end() && type->is_string() ? type->get<std::string>() : "";
    if (name == "open")
        c.KeyType = kKeyOpen;
    else if (name == "wpa")
        c.KeyType = kKeyWpa;
    else if (name == "wep" && !accessPoint)
        c.KeyType = kKeyWep;
    else
        return Fail(
            at + ".key_type",
            accessPoint ? "must be \"open\" or \"wpa\"" : "must be \"open\", \"wep\" or \"wpa\"",
            error);
    c.Key.clear();
    if ((j.contains("key") || j.contains("key_hex")) && !ReadText(j, at, "key", c.Key, error))
        return false;
    return true;
}

bool ReadQuad(const TJson& j, const std::string& at, const char* name,
              std::array<std::uint8_t, 4>& out, std::string& error) {
    const auto v = j.find(name);
    if (v == j.end() || !v->is_string() || !IsDottedQuad(v->get<std::string>()))
        return Fail(at + "." + name, "is not an address A.B.C.D", error);
    out = DottedQuadBytes(v->get<std::string>());
    return true;
}

bool ReadStatic(const TJson& j, const std::string& at, TStaticSetting& s, std::string& error) {
    s = {};
    if (j.is_null()) return true;
    if (!j.is_object()) return Fail(at, "is neither null nor an object", error);
    if (!OnlyKnownKeys(j, at, {"ip", "mask", "gateway"}, {}, error)) return false;
    s.Enabled = true;
    return ReadQuad(j, at, "ip", s.Address.Ip, error) &&
           ReadQuad(j, at, "mask", s.Address.Mask, error) &&
           ReadQuad(j, at, "gateway", s.Address.Gateway, error);
}

bool ReadNumber(const TJson& j, const std::string& at, const char* name, int max,
                std::uint16_t& out, std::string& error) {
    const auto v = j.find(name);
    const bool whole = v != j.end() && (v->is_number_unsigned() || v->is_number_integer());
    if (!whole || v->get<long long>() < 0 || v->get<long long>() > max)
        return Fail(at + "." + name, "is not a whole number from 0 to " + std::to_string(max),
                    error);
    out = static_cast<std::uint16_t>(v->get<long long>());
    return true;
}

bool ReadModbus(const TJson& j, const std::string& at, TModbusSettings& m, std::string& error) {
    if (!j.is_object()) return Fail(at, "is not an object", error);
    return OnlyKnownKeys(j, at, {"port", "idle_timeout_s"}, {}, error) &&
           ReadNumber(j, at, "port", 65535, m.Port, error) &&
           ReadNumber(j, at, "idle_timeout_s", 65535, m.IdleTimeout, error);
}

}  // namespace

bool ReadSettings(const TJson& snapshot, TSettings& out, std::string& error) {
    out = {};
    if (!snapshot.is_object()) return Fail("the document", "is not a JSON object", error);
    const auto format = snapshot.find("format");
    if (format == snapshot.end() || *format != kSnapshotFormat)
        return Fail("format", std::string("is not \"") + kSnapshotFormat + "\": not a snapshot",
                    error);
    if (!OnlyKnownKeys(snapshot, "", {"format", "read_from", "device", "settings"}, {}, error))
        return false;
    const auto settings = snapshot.find("settings");
    if (settings == snapshot.end() || !settings->is_object())
        return Fail("settings", "is missing or not an object", error);
    const TJson& s = *settings;
    if (!OnlyKnownKeys(s, "settings",
                       {"access_point", "station", "static_ip", "modbus", "wifi_mode"},
                       {"location"}, error))
        return false;
    if (s.contains("location") || s.contains("location_hex")) {
        std::string text;
        if (!ReadText(s, "settings", "location", text, error)) return false;
        out.Location = text;
    }
    if (const auto j = s.find("access_point"); j != s.end()) {
        TCredentials c;
        if (!ReadCredentials(*j, "settings.access_point", true, c, error)) return false;
        out.AccessPoint = c;
    }
    if (const auto j = s.find("station"); j != s.end()) {
        TCredentials c;
        if (!ReadCredentials(*j, "settings.station", false, c, error)) return false;
        out.Station = c;
    }
    if (const auto j = s.find("static_ip"); j != s.end()) {
        TStaticSetting st;
        if (!ReadStatic(*j, "settings.static_ip", st, error)) return false;
        out.StaticIp = st;
    }
    if (const auto j = s.find("modbus"); j != s.end()) {
        TModbusSettings m;
        if (!ReadModbus(*j, "settings.modbus", m, error)) return false;
        out.Modbus = m;
    }
    if (const auto j = s.find("wifi_mode"); j != s.end()) {
        if (*j != "ap" && *j != "station")
            return Fail("settings.wifi_mode", "must be \"ap\" or \"station\"", error);
        out.AccessPointMode = *j == "ap";
    }
    return true;
}

bool ReadSnapshotText(std::string_view text, TSettings& out, std::string& error) {
    if (text.size() > kMaxSnapshotBytes) {
        error = "larger than " + std::to_string(kMaxSnapshotBytes) + " bytes: not a snapshot";
        return false;
    }
    if (!NestedNoDeeperThan(text, kMaxSnapshotDepth)) {
        error =
            "nested deeper than " + std::to_string(kMaxSnapshotDepth) + " levels: not a snapshot";
        return false;
    }
    TJson doc;
    try {
        doc = TJson::parse(text);
    } catch (const TJson::parse_error& e) {
        error = "not JSON (at byte " + std::to_string(e.byte) + ")";
        return false;
    } catch (const TJson::exception&) {
        // The parser throws out_of_range for a number beyond any double (31e872332).
        error = "not JSON (a number too large to read)";
        return false;
    }
    return ReadSettings(doc, out, error);
}

bool ReadSnapshotFile(const std::string& path, TSettings& out, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + ": a folder, not a snapshot file";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the snapshot " + path;
        return false;
    }
    std::string text(kMaxSnapshotBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (file.bad()) {
        error = "cannot read the snapshot " + path;
        return false;
    }
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (!ReadSnapshotText(text, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace kstbell::cli
