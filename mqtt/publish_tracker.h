#pragma once

// The topics of the messages handed to the MQTT library and not yet acknowledged, by message
// id, so that a broker's refusal (an MQTT 5 reason code of 0x80 or more in the acknowledgement)
// can name its topic. The library's network thread may see the acknowledgement before the
// publisher thread has reported the message as sent; both orders end the same.

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace kstbell::mqtt {

struct TRefusal {
    std::string Topic;
    int Reason = 0;
};

class TPublishTracker {
  public:
    // Acknowledgements remembered while their message is not reported yet; more are dropped.
    static constexpr std::size_t kMaxEarly = 1024;

    // The message with this id was handed over. Its refusal when the acknowledgement came first.
    std::optional<TRefusal> Sent(int mid, std::string topic);
    // The broker acknowledged the message with this id. Its refusal, if it is one.
    std::optional<TRefusal> Acknowledged(int mid, int reason);
    // The connection is gone: no acknowledgement is coming for what was in flight.
    void Reset();

  private:
    std::mutex m_;
    std::map<int, std::string> inflight_;
    std::map<int, int> early_;
};

}  // namespace kstbell::mqtt
