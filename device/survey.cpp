#include <exception>

#include "device/locate.h"
#include "device/session.h"

namespace kstbell {

namespace {

// Runs one survey step; an exception inside it is reported and the survey goes on with what
// the tables hold.
template <typename TStep>
void Guarded(TDeviceSession& s, TStep step) {
    std::string failure;
    try {
        step();
        return;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
    }
    s.Tell([&](IDeviceObserver& o) { o.OnSurveyError(failure); });
}

TNetworkMatch MakeMatch(const THostAdapter& a, const TWifiInterface& w) {
    return {a.Ipv4Text,    a.FriendlyName, a.MacText,     a.Mac,       a.IfType, w.GuidText,
            w.Description, w.State,        w.ProfileName, w.BssidText, w.Bssid};
}

}  // namespace

void ListConnectedInterfaces(TDeviceSession& s) {
    auto& t = s.Survey;
    s.Network.SurveyWifiInterfaces(t);
    t.ConnectedCount = 0;
    for (std::uint8_t slot = 0; slot < t.WifiCount && slot < kMaxWifiInterfaces; ++slot) {
        if (t.Wifi[slot].State == kWifiStateConnected && t.ConnectedCount < kMaxConnected)
            t.Connected[t.ConnectedCount++] = slot;
    }
}

std::uint8_t MatchDeviceNetwork(TDeviceSession& s, const std::string& prefix) {
    auto& t = s.Survey;
    t.MatchCount = 0;
    for (std::uint8_t c = 0; c < t.ConnectedCount; ++c) {
        const TWifiInterface& wifi = t.Wifi[t.Connected[c]];
        for (std::uint8_t a = 0; a < t.AdapterCount && a < kMaxAdapters; ++a) {
            const THostAdapter& adapter = t.Adapters[a];
            if (adapter.AdapterName != wifi.GuidText) continue;
            if (adapter.Ipv4Text.compare(0, prefix.size(), prefix) != 0 ||
                adapter.Ipv4Text.size() < prefix.size())
                continue;
            if (t.MatchCount < kMaxMatches) t.Matches[t.MatchCount] = MakeMatch(adapter, wifi);
            if (t.MatchCount < 255) ++t.MatchCount;
        }
    }
    return t.MatchCount;
}

std::uint8_t SurveyHostNetwork(TDeviceSession& s, const std::string& prefix) {
    Guarded(s, [&] {
        std::string problem;
        s.Network.SurveyAdapters(s.Survey, problem);
        if (!problem.empty()) Trace(s, "Adapters: " + problem);
    });
    Guarded(s, [&] { ListConnectedInterfaces(s); });
    return MatchDeviceNetwork(s, prefix);
}

}  // namespace kstbell
