#include "device/session.h"

#include <algorithm>

namespace kstbell {

TDeviceSession::TDeviceSession(ITcpClient& tcp, IHostNetworkSource& network, IPause& pause)
    : Tcp(tcp), Network(network), Pause(pause) {}

void TDeviceSession::AddObserver(IDeviceObserver& observer) {
    observers_.push_back(&observer);
}

void TDeviceSession::RemoveObserver(IDeviceObserver& observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), &observer),
                     observers_.end());
}

void Trace(TDeviceSession& s, std::string line) {
    s.Tell([&](IDeviceObserver& o) { o.OnTrace(line); });
}

void Note(TDeviceSession& s, TNoteKind kind, std::uint64_t value, std::string text) {
    const TNote note{kind, value, std::move(text)};
    s.Tell([&](IDeviceObserver& o) { o.OnNote(note); });
}

}  // namespace kstbell
