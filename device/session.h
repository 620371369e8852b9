#pragma once

// One device and everything the program knows and does about it: the command link, the poll
// state, locating and the survey tables, the decoded device information, the transfer buffer,
// and the ports it talks through. A session knows no window; what it does shows through its
// observers and the outcomes its operations return. Two sessions share nothing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/host_hold.h"
#include "device/image_buffer.h"
#include "device/observer.h"
#include "device/outcome.h"
#include "device/presence.h"
#include "ports/host_network_source.h"
#include "ports/host_ports.h"
#include "ports/survey_tables.h"
#include "ports/tcp_client.h"
#include "protocol/commands.h"
#include "protocol/device_info.h"
#include "protocol/frame.h"

namespace kstbell {

inline constexpr const char* kDefaultNetPrefix = "192.168.77.";
inline constexpr std::uint16_t kDefaultDevicePort = 13577;
inline constexpr int kConnectTimeoutMs = 3000;
inline constexpr int kReplyPolls = 100;
inline constexpr int kReplyPollMs = 10;

// How the last transaction routine ended.
enum class TTransactionOutcome {
    Dropped,        // the link was busy: nothing was sent
    ConnectFailed,  // no connection
    SocketError,    // the connection broke after it was made
    Sent,           // the request went out (send-only)
    NoReply,        // the request went out; no whole reply to it came within the wait
    Replied,        // the request went out and the device accepted it
    Refused,        // the request went out and the device answered it with another status
    HeldElsewhere,  // another program on this PC holds the horn: nothing was sent (LastError)
    Withdrawn,      // the program stopped while waiting for the horn: nothing was sent
};

struct TDeviceLink {
    std::string DeviceIp = std::string(kDefaultNetPrefix) + "1";
    std::uint16_t DevicePort = kDefaultDevicePort;
    // How long a connection may take, and how many 10 ms polls a reply may take.
    int ConnectTimeoutMs = kConnectTimeoutMs;
    int ReplyPolls = kReplyPolls;
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
    // Set by the dispatcher when it compared an image checksum; DeviceSum is the device's.
    bool ChecksumCompared = false;
    bool ChecksumMatched = false;
    std::uint32_t DeviceSum = 0;
    TTransactionOutcome LastOutcome = TTransactionOutcome::Dropped;
    // The socket layer's text for ConnectFailed and SocketError (or why the horn's lock could
    // not be used); what kept the request back for HeldElsewhere and Withdrawn.
    std::string LastError;
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

// The polling cycle's counter and its one-slot command queue.
struct TPollState {
    std::uint8_t TickCount = 0;
    std::uint8_t QueuedCode = 0;
    std::array<std::uint8_t, 4> QueuedParams{};
    bool PollEnabled = true;
    // Whether checks get answers: after two in a row without one the device is shown as silent.
    TPresenceTracker Presence{TPresence::Online};
};

// Device address and network, owned by locating.
struct TLocateState {
    std::string DeviceNetPrefix = kDefaultNetPrefix;
    std::string LocalIp;
    // Whether this PC must be on the device's own Wi-Fi network before anything is sent. A
    // client that is given device addresses directly turns it off: every locate succeeds.
    bool CheckHostNetwork = true;
};

// Flags kept beside the device information.
struct TDeviceFlags {
    bool SupportedModel = false;
    bool HasOutput = false;
    bool HasInput = false;
    bool DeviceInfoValid = false;
    bool DeviceInfoShown = false;
};

class TDeviceSession {
  public:
    TDeviceSession(ITcpClient& tcp, IHostNetworkSource& network, IPause& pause);
    TDeviceSession(const TDeviceSession&) = delete;
    TDeviceSession& operator=(const TDeviceSession&) = delete;

    void AddObserver(IDeviceObserver& observer);
    void RemoveObserver(IDeviceObserver& observer);

    // Tells every observer.
    template <typename TCall>
    void Tell(TCall call) {
        for (IDeviceObserver* o : observers_)
            call(*o);
    }

    TDeviceLink Link;
    TPollState Poll;
    TLocateState Locate;
    TSurveyTables Survey;
    // The last complete decode of an information reply from this device's address.
    TDeviceInfo DeviceInfo;
    // The last accepted information reply, whatever address it reported.
    TDeviceInfo LastReport;
    TDeviceFlags Flags;
    // The last accepted status reply as it came (not masked).
    TDeviceStatus LastStatus;
    std::uint8_t OutputState = 0;
    std::uint8_t InputState = 0;
    std::uint64_t ImageSum = 0;  // byte sum of the last firmware image
    TImageBuffer ImageBuffer;
    // The horn kept apart from the other kstbell programs on this PC (off until Locks is set).
    THostLocking HostLock;

    ITcpClient& Tcp;
    IHostNetworkSource& Network;
    IPause& Pause;

  private:
    std::vector<IDeviceObserver*> observers_;
};

// Holds LinkBusy for as long as it lives and leaves no connection open behind it.
class TLinkHold {
  public:
    explicit TLinkHold(TDeviceSession& s);
    ~TLinkHold();
    TLinkHold(const TLinkHold&) = delete;
    TLinkHold& operator=(const TLinkHold&) = delete;

  private:
    TDeviceSession& s_;
};

// Events.
void Trace(TDeviceSession& s, std::string line);
void Note(TDeviceSession& s, TNoteKind kind, std::uint64_t value = 0, std::string text = {});

// Transaction routines.
void RunTransaction(TDeviceSession& s, std::uint8_t length);
void SendOnly(TDeviceSession& s, std::uint8_t length);
// What the last transaction routine did, as an outcome about the command it was asked to send.
TOutcome LinkOutcome(const TDeviceSession& s, std::uint8_t command);

// Reply handling.
void DispatchReply(TDeviceSession& s, std::size_t count);
void DecodeDeviceInfo(TDeviceSession& s);
// Stores output and input states as reported, masked by what the identified model has, and
// tells the observers.
void SetStates(TDeviceSession& s, std::uint8_t output, std::uint8_t input);
// Forgets the shown device: no output, no input, no information on display.
void ClearShownState(TDeviceSession& s);

// Small senders. Each returns what became of its request.
TOutcome RequestDeviceInfo(TDeviceSession& s);
TOutcome RequestStatus(TDeviceSession& s);
// Locates first: NotLocated when the device was not found and nothing was sent.
TOutcome RequestReset(TDeviceSession& s);
TOutcome RequestImageChecksum(TDeviceSession& s, std::uint32_t sum);
// Makes the device signal where it is, now rather than on the next poll tick: the locator
// request with its four zero parameters.
TOutcome FindMe(TDeviceSession& s);
TOutcome NotifyImageChecksum(TDeviceSession& s, std::uint32_t sum);
void RetryPending(TDeviceSession& s);

// The polling cycle and its one-slot command queue. PollTick is one 100 ms tick.
void PollTick(TDeviceSession& s);
void QueueFindMe(TDeviceSession& s);
// Locates first: NotLocated when the device was not found and nothing was queued.
TOutcome QueueDeviceInfo(TDeviceSession& s);

}  // namespace kstbell
