#pragma once

// The device command link: link state, the transaction routines, the reply dispatcher, the
// small senders and the command queue. Everything takes the one process-wide TContext.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/image_buffer.h"
#include "link/commands.h"
#include "link/device_info.h"
#include "link/frame.h"
#include "link/tcp_client.h"
#include "locate/host_network_source.h"
#include "locate/survey_tables.h"
#include "setup/setup_window_state.h"
#include "shell/host_services.h"
#include "shell/main_window_state.h"

namespace kstbell {

inline constexpr const char* kDefaultNetPrefix = "192.168.77.";
inline constexpr std::uint16_t kDefaultDevicePort = 13577;
inline constexpr int kConnectTimeoutMs = 3000;
inline constexpr int kReplyPolls = 100;
inline constexpr int kReplyPollMs = 10;

// How the last transaction routine ended.
enum class TTransactionOutcome {
    Dropped,        // the link was busy: nothing was sent
    ConnectFailed,  // "Connect Timeout"
    SocketError,    // the connection broke after it was made
    Sent,           // the request went out (send-only)
    NoReply,        // the request went out; no whole reply to it came within the wait
    Replied,        // the request went out and the device accepted it
    Refused,        // the request went out and the device answered it with another status
};

struct TDeviceLink {
    std::string DeviceIp = std::string(kDefaultNetPrefix) + "1";
    std::uint16_t DevicePort = kDefaultDevicePort;
    bool LinkBusy = false;
    std::uint8_t PendingCode = 0;
    TRequestFrame Request;
    TReplyFrame Reply;
    std::size_t ReplyLength = 0;
    // The command code that the last transaction actually wrote, and the status byte of the
    // reply that answered it (valid when the outcome is Replied or Refused).
    std::uint8_t SentCode = 0;
    std::uint8_t ReplyStatus = 0;
    // Set by the dispatcher when the device confirmed a firmware image: the reset goes out once
    // the transaction that carried the confirmation has ended.
    bool ResetAfterTransaction = false;
    TTransactionOutcome LastOutcome = TTransactionOutcome::Dropped;
    std::string LastError;  // the socket layer's text for ConnectFailed and SocketError
};

// True when the last request left this PC whole.
inline bool RequestWentOut(const TDeviceLink& link) {
    return link.LastOutcome == TTransactionOutcome::Sent ||
           link.LastOutcome == TTransactionOutcome::NoReply ||
           link.LastOutcome == TTransactionOutcome::Replied ||
           link.LastOutcome == TTransactionOutcome::Refused;
}

// Records a request that met a running transaction: it is dropped before it touches the
// pending code, the request area or the trace. True when the link is free.
inline bool LinkFree(TDeviceLink& link) {
    if (!link.LinkBusy) return true;
    link.LastOutcome = TTransactionOutcome::Dropped;
    return false;
}

// How many bytes a whole reply to a command holds: its last field's offset plus one.
std::size_t ReplyLayoutLength(std::uint8_t code);

// The polling cycle's counter and its one-slot command queue.
struct TPollState {
    std::uint8_t TickCount = 0;
    std::uint8_t QueuedCode = 0;
    std::array<std::uint8_t, 4> QueuedParams{};
    bool PollEnabled = true;
    // Checks in a row whose request got no answer; at two the device is shown as silent.
    std::uint8_t MissedChecks = 0;
};

// Device address and network, owned by locating.
struct TLocateState {
    std::string DeviceNetPrefix = kDefaultNetPrefix;
    std::string LocalIp;
};

// All protocol, device and main-window state of one running program, with the ports it talks
// through. Exactly one lives in the program; every test builds its own.
struct TContext {
    TContext(ITcpClient& tcp, IHostServices& host, IHostNetworkSource& network)
        : Tcp(tcp), Host(host), Network(network) {}
    TContext(const TContext&) = delete;
    TContext& operator=(const TContext&) = delete;

    TDeviceLink Link;
    TPollState Poll;
    TLocateState Locate;
    TSurveyTables Survey;
    TDeviceInfo DeviceInfo;
    TDeviceFlags Flags;
    std::uint8_t OutputState = 0;
    std::uint8_t InputState = 0;
    std::uint64_t ImageSum = 0;  // byte sum of the last firmware image
    TMainWindowState Form1;
    TSetupWindowState Form2;
    TImageBuffer ImageBuffer;

    ITcpClient& Tcp;
    IHostServices& Host;
    IHostNetworkSource& Network;
};

// Holds LinkBusy for as long as it lives and leaves no connection open behind it.
class TLinkHold {
  public:
    explicit TLinkHold(TContext& ctx);
    ~TLinkHold();
    TLinkHold(const TLinkHold&) = delete;
    TLinkHold& operator=(const TLinkHold&) = delete;

  private:
    TContext& ctx_;
};

// Transaction routines.
void RunTransaction(TContext& ctx, std::uint8_t length);
void SendOnly(TContext& ctx, std::uint8_t length);

// Reply handling.
void DispatchReply(TContext& ctx, std::size_t count);
void DecodeDeviceInfo(TContext& ctx);
void EnableDeviceControls(TContext& ctx, std::uint8_t model);

// Small senders.
void RequestDeviceInfo(TContext& ctx);
void RequestStatus(TContext& ctx);
// False when the device was not located and nothing was sent.
bool RequestReset(TContext& ctx);
void RequestImageChecksum(TContext& ctx, std::uint32_t sum);
void NotifyImageChecksum(TContext& ctx, std::uint32_t sum);
void RetryPending(TContext& ctx);

// The polling cycle and its one-slot command queue.
void Timer3Timer(TContext& ctx);
void QueueFindMe(TContext& ctx);
void QueueDeviceInfo(TContext& ctx);

// Main-window texts written by the link.
void ShowStatus(TContext& ctx, std::string text);  // panel 0 of StatusBar2
void Trace(TContext& ctx, std::string line);       // one line of the hidden trace memo

}  // namespace kstbell
