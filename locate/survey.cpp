#include <exception>

#include "link/device_link.h"
#include "link/text.h"
#include "locate/locate.h"

namespace kstbell {

namespace {

// Runs one survey step; an exception inside it is reported and the survey goes on with what
// the tables hold.
template <typename TStep>
void Guarded(TContext& ctx, TStep step) {
    try {
        step();
    } catch (const std::exception& e) {
        ShowErrorBox(ctx.Host, std::string("Adapters: ") + e.what());
    } catch (...) {
        ShowErrorBox(ctx.Host, "Adapters: ");
    }
}

TNetworkMatch MakeMatch(const THostAdapter& a, const TWifiInterface& w) {
    return {a.Ipv4Text,    a.FriendlyName, a.MacText,     a.Mac,       a.IfType, w.GuidText,
            w.Description, w.State,        w.ProfileName, w.BssidText, w.Bssid};
}

}  // namespace

std::string MacToText(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) text += ':';
        text += Hex2(bytes[i]);
    }
    return text;
}

void ListConnectedInterfaces(TContext& ctx) {
    auto& t = ctx.Survey;
    ctx.Network.SurveyWifiInterfaces(t);
    t.ConnectedCount = 0;
    for (std::uint8_t slot = 0; slot < t.WifiCount && slot < kMaxWifiInterfaces; ++slot) {
        if (t.Wifi[slot].State == kWifiStateConnected && t.ConnectedCount < kMaxConnected)
            t.Connected[t.ConnectedCount++] = slot;
    }
}

std::uint8_t MatchDeviceNetwork(TContext& ctx, const std::string& prefix) {
    auto& t = ctx.Survey;
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

std::uint8_t SurveyHostNetwork(TContext& ctx, const std::string& prefix) {
    Guarded(ctx, [&] {
        std::string problem;
        ctx.Network.SurveyAdapters(ctx.Survey, problem);
        if (!problem.empty()) Trace(ctx, "Adapters: " + problem);
    });
    Guarded(ctx, [&] { ListConnectedInterfaces(ctx); });
    return MatchDeviceNetwork(ctx, prefix);
}

}  // namespace kstbell
