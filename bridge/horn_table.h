#pragma once

// What the bridge knows about every horn and the commands waiting for each, behind one lock
// that is only ever held for bookkeeping: no horn and no broker is waited for while it is
// held. Every change that others must see leaves through the sink, in the order it happened,
// while the lock is held (the sink only queues).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/command_payload.h"
#include "bridge/config.h"
#include "bridge/horn_view.h"
#include "bridge/log.h"
#include "bridge/messages.h"
#include "bridge/topics.h"
#include "device/outcome.h"
#include "protocol/device_info.h"

namespace kstbell::bridge {

// Polls in a row without an answer after which a horn is offline.
inline constexpr int kMissesOffline = 2;
// Commands one horn may have waiting; more are answered busy.
inline constexpr std::size_t kMaxQueuedCommands = 8;

struct TCommand {
    TCommandTopic Kind = TCommandTopic::FindMe;
    bool On = false;                   // siren/set
    std::optional<std::uint8_t> Tone;  // siren/set: the tone asked for
    std::uint8_t SendTone = 0;         // siren/set: the tone sent (the horn's last without one)
};

class THornTable {
  public:
    using TSink = std::function<void(std::vector<TMessage>)>;

    THornTable(TTopics topics, const std::vector<THornEntry>& horns, int infoEveryPolls, TSink sink,
               TLog log);

    std::size_t Count() const { return horns_.size(); }
    const std::string& Address(std::size_t horn) const { return horns_.at(horn).Address; }

    // Whether the next poll of the horn asks for its information (to identify it, or again
    // after it was offline, restarted or a while went by) rather than its status.
    bool WantsInfo(std::size_t horn) const;
    // The answer to an information request (report and supported only read when Done).
    void PolledInfo(std::size_t horn, const TOutcome& outcome, const TDeviceInfo& report,
                    bool supported);
    void PolledStatus(std::size_t horn, const TOutcome& outcome, const TDeviceStatus& status);

    // A message on a command topic. Answers at once what can be answered without the horn (a
    // bad payload, a retained command, an offline horn, a full queue); queues the rest and
    // then returns true. Unknown ids are ignored, and so is an empty retained message (one that
    // removes a retained command from the broker).
    bool Received(const std::string& topic, std::string_view payload, bool retained);
    // Horns with commands waiting, each once; they are taken off the waiting list.
    std::vector<std::size_t> TakeWaiting();
    // The horn's next command, if any.
    std::optional<TCommand> NextCommand(std::size_t horn);
    // How a command ended: its result, and the state when the horn switched.
    void CommandDone(std::size_t horn, const TCommand& command, const TOutcome& outcome);

    // Everything retained, as it stands: the bridge online, then every identified horn's
    // discovery, availability and state. Handed to replace, under the lock.
    void Republish(const TSink& replace) const;
    // Every identified horn offline and the bridge offline; nothing is published after it.
    void Farewell();

  private:
    struct THorn {
        std::string Address;
        std::string Name;
        std::string InputClass;
        std::optional<THornIdentity> Identity;  // set once identified and not taken by another
        THornState State;
        bool Online = false;
        bool NeedInfo = true;
        int Missed = 0;
        int PollsSinceInfo = 0;
        bool Warned = false;  // about an unsupported model or a MAC already bridged
        std::string LastState;
        std::deque<TCommand> Queue;
        bool Waiting = false;
    };

    void Missed(THorn& h, std::vector<TMessage>& out);
    void Answered(THorn& h, std::vector<TMessage>& out);
    void Identify(std::size_t index, const TDeviceInfo& report, std::vector<TMessage>& out);
    void PublishState(THorn& h, std::vector<TMessage>& out);
    void FailQueued(THorn& h, std::vector<TMessage>& out);
    TMessage Result(const THorn& h, TCommandTopic command, const TOutcome& outcome) const;

    TTopics topics_;
    int infoEvery_;
    TSink sink_;
    TLog log_;
    mutable std::mutex m_;
    std::vector<THorn> horns_;
    std::map<std::string, std::size_t> byId_;
    std::vector<std::size_t> waiting_;
    bool closed_ = false;
};

}  // namespace kstbell::bridge
