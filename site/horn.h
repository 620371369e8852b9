#pragma once

// What a site knows about one horn, as values: who it is, how it is, and the commands a front
// sends it. Fronts turn these into their own words (topics, JSON, lines for people).

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "device/outcome.h"
#include "device/presence.h"

namespace kstbell::site {

using TMac = std::array<std::uint8_t, 6>;
using TInstant = std::chrono::system_clock::time_point;
using TMillis = std::chrono::milliseconds;

// Who or what asked for something: a ring, a stop, a command.
enum class TCause { Schedule, Alarm, Input, Mqtt, Http, CommandLine, Service };

// Who answers at an address, from its information reply.
struct THornIdentity {
    TMac Mac{};
    std::string Location;  // the horn's own bytes, as they came
    std::uint8_t FirmwareMajor = 0;
    std::uint8_t FirmwareMinor = 0;

    bool operator==(const THornIdentity&) const = default;
};

// How it is, from its last answers.
struct THornState {
    bool Output = false;
    bool Input = false;
    bool Armed = false;
    std::uint8_t Tone = 0;  // the last tone switched on through this site
    std::optional<int> RssiDbm;

    bool operator==(const THornState&) const = default;
};

// One horn as it stands.
struct THornView {
    std::size_t Index = 0;
    std::string Address;
    std::string Name;  // from the configuration; may be empty
    std::optional<THornIdentity> Identity;
    TPresence Presence = TPresence::Unknown;
    THornState State;
    std::size_t Queued = 0;  // commands waiting
};

enum class TCommandKind { Relay, FindMe, Reboot };

struct TCommand {
    TCommandKind Kind = TCommandKind::FindMe;
    bool On = false;                   // Relay
    std::optional<std::uint8_t> Tone;  // Relay on: the tone asked for; none keeps the last
    std::string Tag;                   // the sender's own mark, handed back with the result
    TCause Cause = TCause::Service;    // who sent it
    std::uint64_t Ring = 0;            // the ring it switches for, if any
    std::uint64_t Seq = 0;             // set by the registry: the horn's command number
    std::uint8_t SendTone = 0;         // set when taken: the tone that goes out

    bool IsOff() const { return Kind == TCommandKind::Relay && !On; }
};

struct THornEvent {
    enum class TKind {
        Identified,    // first identified, or its location or firmware changed
        Replaced,      // another horn answers at the address; Previous is the one before
        Unsupported,   // a device of another model answers at the address (Model)
        DuplicateMac,  // the device reports a MAC already registered at OtherAddress: ignored
        Online,        // an identified horn answers again
        Offline,       // an identified horn stopped answering
        StateChanged,  // output, input, armed, signal or tone
        CommandDone,   // Command ended with Outcome
    };
    TKind Kind = TKind::StateChanged;
    THornView View;  // the horn as it stood when the event happened
    std::optional<THornIdentity> Previous;
    int Model = 0;
    std::string OtherAddress;
    TCommand Command;
    TOutcome Outcome;
};

}  // namespace kstbell::site
