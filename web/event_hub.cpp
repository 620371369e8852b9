#include "web/event_hub.h"

#include <algorithm>

#include "web/json_views.h"

namespace kstbell::web {

namespace {

template <class... Ts>
struct TOverloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
TOverloaded(Ts...) -> TOverloaded<Ts...>;

}  // namespace

std::string EventFrame(std::string_view name, const nlohmann::json& data) {
    // DumpJson writes one line: a JSON text holds no raw line feed.
    std::string out = "event: ";
    out += name;
    out += "\ndata: ";
    out += DumpJson(data);
    out += "\n\n";
    return out;
}

std::string_view EventName(const TWebEvent& event) {
    return std::visit(
        TOverloaded{
            [](const THornInfo&) { return std::string_view("horn"); },
            [](const TPresenceEvent&) { return std::string_view("presence"); },
            [](const TRingInfo&) { return std::string_view("ring"); },
            [](const TRingEndInfo&) { return std::string_view("ring_end"); },
            [](const TAlarmInfo&) { return std::string_view("alarm"); },
            [](const TBellEvent& e) { return std::string_view(e.Missed ? "bell_missed" : "bell"); },
            [](const TStopAllEvent&) { return std::string_view("stop_all"); }},
        event);
}

nlohmann::json EventData(const TWebEvent& event) {
    return std::visit([](const auto& data) { return ToJson(data); }, event);
}

void TEventStream::Push(const TFrame& frame) {
    bool wake = true;
    {
        std::lock_guard lock(m_);
        if (dropped_ || closed_) return;
        if (queue_.size() >= capacity_) {
            dropped_ = true;
            queue_.clear();
        } else {
            queue_.push_back(frame);
            // The reader waits for a first frame, or gathers until half the queue is used:
            // waking it for every frame in between would only cost.
            wake = queue_.size() == 1 || queue_.size() == capacity_ / 2;
        }
    }
    if (wake) ready_.notify_one();
}

void TEventStream::Close() {
    {
        std::lock_guard lock(m_);
        closed_ = true;
    }
    ready_.notify_one();
}

TEventStream::TWait TEventStream::Next(std::chrono::milliseconds timeout, std::vector<TFrame>& out,
                                       std::chrono::milliseconds gather) {
    std::unique_lock lock(m_);
    ready_.wait_for(lock, timeout, [this] { return dropped_ || closed_ || !queue_.empty(); });
    if (dropped_) return TWait::Ended;
    if (queue_.empty()) return closed_ ? TWait::Ended : TWait::Idle;
    // A frame after a quiet spell goes out at once: a single change reaches the page without
    // delay. Frames that come soon after the last ones wait until gather has passed since then.
    const auto until = lastOut_ + gather;
    if (gather.count() > 0 && std::chrono::steady_clock::now() < until) {
        ready_.wait_until(lock, until, [this] {
            return dropped_ || closed_ || queue_.size() >= std::max<std::size_t>(capacity_ / 2, 1);
        });
        if (dropped_) return TWait::Ended;
    }
    out.insert(out.end(), queue_.begin(), queue_.end());
    queue_.clear();
    lastOut_ = std::chrono::steady_clock::now();
    return TWait::Frames;
}

bool TEventStream::Dropped() const {
    std::lock_guard lock(m_);
    return dropped_;
}

void TEventHub::Publish(const TWebEvent& event) {
    TFrame frame;
    try {
        frame = std::make_shared<const std::string>(EventFrame(EventName(event), EventData(event)));
    } catch (const std::exception&) {
        return;  // nothing to send; the service's thread goes on
    }
    std::lock_guard lock(m_);
    for (const auto& stream : streams_) {
        const bool before = stream->Dropped();
        stream->Push(frame);
        if (!before && stream->Dropped()) ++dropped_;
    }
}

std::shared_ptr<TEventStream> TEventHub::Open() {
    std::lock_guard lock(m_);
    if (closed_ || streams_.size() >= maxStreams_) return nullptr;
    streams_.push_back(std::make_shared<TEventStream>(queueFrames_));
    return streams_.back();
}

void TEventHub::Release(const std::shared_ptr<TEventStream>& stream) {
    std::lock_guard lock(m_);
    streams_.erase(std::remove(streams_.begin(), streams_.end(), stream), streams_.end());
}

void TEventHub::CloseAll() {
    std::lock_guard lock(m_);
    closed_ = true;
    for (const auto& stream : streams_)
        stream->Close();
}

std::size_t TEventHub::OpenStreams() const {
    std::lock_guard lock(m_);
    return streams_.size();
}

std::uint64_t TEventHub::DroppedStreams() const {
    std::lock_guard lock(m_);
    return dropped_;
}

}  // namespace kstbell::web
