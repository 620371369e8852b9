#pragma once

#include <algorithm>
#include <vector>

#include "platform/survey_simulated.h"
#include "shell/context.h"
#include "support/fake_host.h"
#include "support/fake_tcp.h"

namespace kstbell::test {

// A context over scripted ports: no sockets, no display.
struct TOffline {
    TFakeHost Host;
    // This PC's Wi-Fi is on the default device network.
    TSimulatedHostNetwork Network{"192.168.77.23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01}};
    TFakeTcpClient Tcp;
    TContext Ctx{Tcp, Host, Network};

    // Puts a reply into the reply area (clearing what the transaction would clear) and
    // dispatches it.
    void Dispatch(const std::vector<std::uint8_t>& reply) {
        std::fill_n(Ctx.Session.Link.Reply.Bytes.begin(), kReplyClearSize, std::uint8_t{0});
        std::copy(reply.begin(), reply.end(), Ctx.Session.Link.Reply.Bytes.begin());
        DispatchReply(Ctx.Session, reply.size());
    }
    const std::string& Status() const { return Ctx.Form1.StatusBar2.Panels[0]; }
};

}  // namespace kstbell::test
