#pragma once

// The event streams of open pages. The service publishes each change once; the hub writes its
// frame once and hands it to every open stream's queue. A queue is bounded: a stream whose
// client does not keep up is dropped (its client reconnects and starts from a new snapshot),
// so a slow page never holds up the service or the other pages. The number of open streams is
// capped.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "web/service_port.h"

namespace kstbell::web {

using TFrame = std::shared_ptr<const std::string>;

// "event: NAME\ndata: JSON\n\n".
std::string EventFrame(std::string_view name, const nlohmann::json& data);
// "horn", "presence", "ring", "ring_end", "alarm", "bell", "bell_missed", "stop_all".
std::string_view EventName(const TWebEvent& event);
nlohmann::json EventData(const TWebEvent& event);

class TEventStream {
  public:
    explicit TEventStream(std::size_t capacity) : capacity_(capacity) {}

    // The service's side: queues the frame, or drops the stream when its queue is full.
    void Push(const TFrame& frame);
    // The front stops: the stream ends after what it holds.
    void Close();

    enum class TWait { Frames, Idle, Ended };
    // The client's side: waits up to timeout for frames and moves them to out. Frames that come
    // within gather of the last ones handed out wait until gather has passed since then, or
    // until half the queue is used: a burst goes out in one write per gather, while a change
    // after a quiet spell goes at once. Ended once the stream is closed and empty, or dropped.
    TWait Next(std::chrono::milliseconds timeout, std::vector<TFrame>& out,
               std::chrono::milliseconds gather = std::chrono::milliseconds(0));
    bool Dropped() const;

  private:
    mutable std::mutex m_;
    std::condition_variable ready_;
    std::deque<TFrame> queue_;
    std::size_t capacity_;
    bool dropped_ = false;
    bool closed_ = false;
    std::chrono::steady_clock::time_point lastOut_{};  // when Next last handed frames out
};

class TEventHub final : public IWebEventSink {
  public:
    TEventHub(std::size_t maxStreams, std::size_t queueFrames)
        : maxStreams_(maxStreams), queueFrames_(queueFrames) {}

    void Publish(const TWebEvent& event) override;

    // A stream that gets every event published from now on; null when the cap is reached or
    // the hub is closed.
    std::shared_ptr<TEventStream> Open();
    void Release(const std::shared_ptr<TEventStream>& stream);
    // Ends every stream; opens no more.
    void CloseAll();

    std::size_t OpenStreams() const;
    std::uint64_t DroppedStreams() const;

  private:
    const std::size_t maxStreams_;
    const std::size_t queueFrames_;
    mutable std::mutex m_;
    std::vector<std::shared_ptr<TEventStream>> streams_;
    std::uint64_t dropped_ = 0;
    bool closed_ = false;
};

}  // namespace kstbell::web
