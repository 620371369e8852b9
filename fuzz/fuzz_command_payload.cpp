// The bridge's command payloads and topics as anybody on the broker may send them.
//
// Input: the payload of a siren command (with and without a duration), also read as a button
// press, as a topic that may name a horn's command, a site service's command or an old
// per-entity discovery topic, and as a configured topic prefix. A siren payload that is accepted
// says what it asks in a canonical form that reads back the same; one that is refused says why
// and leaves the request empty. A prefix that is taken builds topics that read back.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "mqtt/command_payload.h"
#include "mqtt/topics.h"
#include "service/mqtt/site_topics.h"

namespace kstbell::fuzz {
namespace {

std::string Canonical(const mqtt::TSirenRequest& r) {
    std::string text = std::string(R"({"state":")") + (r.On ? "ON" : "OFF") + "\"";
    if (r.Tone) text += ",\"tone\":" + std::to_string(*r.Tone);
    if (r.DurationS) text += ",\"duration\":" + std::to_string(*r.DurationS);
    return text + "}";
}

}  // namespace
}  // namespace kstbell::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kstbell;
    using namespace kstbell::fuzz;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    for (const bool duration : {false, true}) {
        mqtt::TSirenRequest request;
        request.Tone = 1;
        std::string error;
        const bool ok = mqtt::ParseSirenPayload(input, request, error, duration);
        FUZZ_CHECK(ok == error.empty());
        if (ok) {
            FUZZ_CHECK(!request.Tone || *request.Tone < mqtt::kToneCount);
            FUZZ_CHECK(duration || !request.DurationS);
            FUZZ_CHECK(!request.DurationS || (*request.DurationS >= 1 &&
                                              *request.DurationS <= mqtt::kMaxDurationSeconds));
            mqtt::TSirenRequest again;
            std::string againError;
            FUZZ_CHECK(mqtt::ParseSirenPayload(Canonical(request), again, againError, duration));
            FUZZ_CHECK(again.On == request.On && again.Tone == request.Tone &&
                       again.DurationS == request.DurationS);
        } else {
            FUZZ_CHECK(!request.On && !request.Tone && !request.DurationS);
        }
        if (size > mqtt::kMaxCommandPayload) FUZZ_CHECK(!ok);
    }

    std::string pressId;
    std::string pressError;
    const bool pressed = mqtt::ParsePressPayload(input, pressId, pressError);
    FUZZ_CHECK(pressed == pressError.empty());

    const mqtt::TTopics topics("kstbell", "homeassistant");
    if (const auto command = topics.ParseCommand(input)) {
        FUZZ_CHECK(!command->Id.empty());
        FUZZ_CHECK(command->Id.find('/') == std::string::npos);
        FUZZ_CHECK(topics.Command(command->Id, command->Command) == input);
    }
    const service::TSiteTopics site("kstbell", "service");
    if (const auto command = site.Parse(input)) {
        FUZZ_CHECK(command->Name.find('/') == std::string::npos);
        FUZZ_CHECK("kstbell/" + site.CommandName(*command) == input);
    }
    if (const auto id = topics.ParseEntityDiscovery(input, "sensor", "rssi")) {
        FUZZ_CHECK(!id->empty() && id->find('/') == std::string::npos);
        FUZZ_CHECK(topics.EntityDiscovery("sensor", *id, "rssi") == input);
    }

    if (!mqtt::TopicPrefixProblem(input)) {
        FUZZ_CHECK(!input.empty() && input.size() <= mqtt::kMaxTopicPrefix);
        FUZZ_CHECK(input.find_first_of(std::string_view("+#\0", 3)) == std::string_view::npos);
        FUZZ_CHECK(input.front() != '$' && input.front() != '/' && input.back() != '/');
        const mqtt::TTopics custom{std::string(input), std::string(input)};
        const std::string id = "024b7a3c6001";
        const auto command = custom.ParseCommand(custom.Command(id, mqtt::TCommandTopic::Reboot));
        FUZZ_CHECK(command && command->Id == id && command->Command == mqtt::TCommandTopic::Reboot);
        FUZZ_CHECK(custom.ParseEntityDiscovery(custom.EntityDiscovery("siren", id, "siren"),
                                               "siren", "siren") == id);
    }
    return 0;
}
