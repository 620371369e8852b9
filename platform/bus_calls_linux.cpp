#include "platform/bus_calls_linux.h"

#include <chrono>
#include <cstddef>

#include "platform/sd_bus_library_linux.h"

namespace kstbell {

namespace {

// Only called once a connection exists, which needs the library loaded.
const TSdBusLibrary& Sd() {
    return *SdBus();
}

template <typename TNumber>
bool ReadNumber(sd_bus_message* m, char type, TBusValue& value) {
    TNumber n{};
    if (Sd().ReadBasic(m, type, &n) < 0) return false;
    value.Number = static_cast<std::uint64_t>(n);
    return true;
}

// Reads one complete value of the given signature; a type the survey has no use for is skipped.
bool ReadValue(sd_bus_message* m, const char* signature, TBusValue& value) {
    if (signature[0] != 0 && signature[1] == 0) {
        switch (signature[0]) {
            case 's':
            case 'o':
            case 'g': {
                const char* text = nullptr;
                if (Sd().ReadBasic(m, signature[0], &text) < 0) return false;
                value.Text = text;
                return true;
            }
            case 'y':
                return ReadNumber<std::uint8_t>(m, 'y', value);
            case 'b':
                return ReadNumber<int>(m, 'b', value);
            case 'q':
                return ReadNumber<std::uint16_t>(m, 'q', value);
            case 'u':
                return ReadNumber<std::uint32_t>(m, 'u', value);
            case 't':
                return ReadNumber<std::uint64_t>(m, 't', value);
            default:
                break;
        }
    }
    return Sd().Skip(m, signature) >= 0;
}

// Reads the variant at the read position, which must be one.
bool ReadVariant(sd_bus_message* m, TBusValue& value) {
    char type = 0;
    const char* contents = nullptr;
    if (Sd().PeekType(m, &type, &contents) <= 0 || type != 'v') return false;
    if (Sd().EnterContainer(m, 'v', contents) <= 0) return false;
    if (!ReadValue(m, contents, value)) return false;
    return Sd().ExitContainer(m) >= 0;
}

// One call in flight: where its callback puts the reply.
struct TPendingCall {
    sd_bus_slot* Slot = nullptr;
    sd_bus_message* Reply = nullptr;
    bool Done = false;
};

int OnReply(sd_bus_message* m, void* userdata, sd_bus_error* /*error*/) {
    auto* call = static_cast<TPendingCall*>(userdata);
    call->Done = true;
    // Refusals, timeouts and a lost connection all arrive as error replies.
    if (!Sd().IsMethodError(m, nullptr)) call->Reply = Sd().MessageRef(m);
    return 0;
}

bool Send(sd_bus* bus, const std::string& destination, const TBusCall& call,
          std::uint64_t timeoutUsec, TPendingCall& pending) {
    sd_bus_message* message = nullptr;
    int r = Sd().NewMethodCall(bus, &message, destination.c_str(), call.Path.c_str(),
                               call.Interface.c_str(), call.Method.c_str());
    for (std::size_t i = 0; r >= 0 && i < call.Args.size(); ++i)
        r = Sd().AppendBasic(message, 's', call.Args[i].c_str());
    if (r >= 0) r = Sd().CallAsync(bus, &pending.Slot, message, OnReply, &pending, timeoutUsec);
    Sd().MessageUnref(message);
    return r >= 0;
}

}  // namespace

TBusReply::TBusReply(sd_bus_message* message)
    : message_(Sd().MessageRef(message), Sd().MessageUnref) {}

std::vector<std::string> TBusReply::ObjectPaths() const {
    sd_bus_message* m = message_.get();
    std::vector<std::string> paths;
    if (Sd().Rewind(m, 1) < 0 || Sd().EnterContainer(m, 'a', "o") <= 0) return paths;
    const char* path = nullptr;
    while (Sd().ReadBasic(m, 'o', &path) > 0)
        paths.emplace_back(path);
    return paths;
}

TBusProperties TBusReply::Properties() const {
    sd_bus_message* m = message_.get();
    TBusProperties properties;
    if (Sd().Rewind(m, 1) < 0 || Sd().EnterContainer(m, 'a', "{sv}") <= 0) return properties;
    while (Sd().EnterContainer(m, 'e', "sv") > 0) {
        const char* name = nullptr;
        TBusValue value;
        if (Sd().ReadBasic(m, 's', &name) < 0 || !ReadVariant(m, value) ||
            Sd().ExitContainer(m) < 0)
            break;
        properties[name] = std::move(value);
    }
    return properties;
}

TBusValue TBusReply::Variant() const {
    sd_bus_message* m = message_.get();
    TBusValue value;
    if (Sd().Rewind(m, 1) < 0 || !ReadVariant(m, value)) return {};
    return value;
}

std::unique_ptr<TBusConnection> TBusConnection::Open(const std::string& address) {
    if (SdBus() == nullptr) return nullptr;
    sd_bus* bus = nullptr;
    int r = 0;
    if (address.empty()) {
        r = Sd().OpenSystem(&bus);
    } else {
        r = Sd().New(&bus);
        if (r >= 0) r = Sd().SetAddress(bus, address.c_str());
        if (r >= 0) r = Sd().SetBusClient(bus, 1);
        if (r >= 0) r = Sd().Start(bus);
    }
    if (r < 0) {
        Sd().CloseUnref(bus);
        return nullptr;
    }
    return std::unique_ptr<TBusConnection>(new TBusConnection(bus));
}

TBusConnection::~TBusConnection() {
    // Closed without flushing: a bus that stopped reading must not hold up the caller.
    Sd().CloseUnref(bus_);
}

bool TBusConnection::IsOpen() const {
    return Sd().IsOpen(bus_) > 0;
}

std::vector<std::optional<TBusReply>> TBusConnection::CallAll(const std::string& destination,
                                                              const std::vector<TBusCall>& calls,
                                                              int timeoutMs) {
    const std::uint64_t timeoutUsec = static_cast<std::uint64_t>(timeoutMs) * 1000;
    std::vector<TPendingCall> pending(calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i)
        pending[i].Done = !Send(bus_, destination, calls[i], timeoutUsec, pending[i]);

    // sd-bus times out each call by itself; the deadline only guards against a bus that keeps
    // the loop busy without ever answering.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs) +
                          std::chrono::milliseconds(100);
    auto outstanding = [&] {
        std::size_t n = 0;
        for (const TPendingCall& p : pending)
            n += p.Done ? 0 : 1;
        return n;
    };
    while (outstanding() > 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        const int r = Sd().Process(bus_, nullptr);
        if (r < 0) break;
        if (r > 0) continue;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
        if (Sd().Wait(bus_, static_cast<std::uint64_t>(left.count())) < 0) break;
    }

    std::vector<std::optional<TBusReply>> replies;
    replies.reserve(calls.size());
    for (TPendingCall& p : pending) {
        // Dropping the slot cancels a call that is still in flight.
        Sd().SlotUnref(p.Slot);
        if (p.Reply != nullptr) {
            replies.emplace_back(TBusReply(p.Reply));
            Sd().MessageUnref(p.Reply);
        } else {
            replies.emplace_back(std::nullopt);
        }
    }
    return replies;
}

}  // namespace kstbell
