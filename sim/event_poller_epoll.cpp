// The event loop's wait on Linux: epoll, level-triggered, with an eventfd for waking it.

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "sim/event_poller.h"
#include "sim/unique_fd.h"

namespace kstbell::sim {

namespace {

constexpr std::uint64_t kWakeToken = UINT64_MAX;
constexpr std::size_t kEventsPerWait = 256;

int Raw(const TUniqueFd& fd) {
    return static_cast<int>(fd.Get());
}

std::runtime_error SystemError(const char* what) {
    return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

}  // namespace

struct TEventPoller::TImpl {
    TUniqueFd Epoll;
    TUniqueFd WakeFd;
    struct TWatch {
        std::uint64_t Token = 0;
        unsigned Interest = InterestNone;
    };
    std::unordered_map<TSocket, TWatch> Watched;  // what is watched now, by descriptor
    std::array<epoll_event, kEventsPerWait> Ready{};
};

TEventPoller::TEventPoller() : impl_(std::make_unique<TImpl>()) {
    impl_->Epoll = TUniqueFd(::epoll_create1(EPOLL_CLOEXEC));
    if (!impl_->Epoll.Valid()) throw SystemError("epoll_create1");
    impl_->WakeFd = TUniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!impl_->WakeFd.Valid()) throw SystemError("eventfd");
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kWakeToken;
    if (::epoll_ctl(Raw(impl_->Epoll), EPOLL_CTL_ADD, Raw(impl_->WakeFd), &event) != 0)
        throw SystemError("epoll_ctl");
}

TEventPoller::~TEventPoller() = default;

void TEventPoller::Set(TSocket fd, std::uint64_t token, unsigned interest) {
    if (interest == InterestNone) {
        Forget(fd);
        return;
    }
    epoll_event event{};
    event.events = ((interest & InterestRead) != 0 ? EPOLLIN : 0u) |
                   ((interest & InterestWrite) != 0 ? EPOLLOUT : 0u);
    event.data.u64 = token;
    const auto it = impl_->Watched.find(fd);
    if (it != impl_->Watched.end() && it->second.Token == token &&
        it->second.Interest == interest) {
        return;
    }
    const int op = it == impl_->Watched.end() ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    if (::epoll_ctl(Raw(impl_->Epoll), op, static_cast<int>(fd), &event) != 0)
        throw SystemError("epoll_ctl");
    impl_->Watched[fd] = {token, interest};
}

void TEventPoller::Forget(TSocket fd) {
    if (impl_->Watched.erase(fd) == 0) return;
    epoll_event unused{};
    ::epoll_ctl(Raw(impl_->Epoll), EPOLL_CTL_DEL, static_cast<int>(fd), &unused);
}

void TEventPoller::Wait(int timeoutMs, std::vector<TPollEvent>& events) {
    events.clear();
    const int count = ::epoll_wait(Raw(impl_->Epoll), impl_->Ready.data(),
                                   static_cast<int>(impl_->Ready.size()), timeoutMs);
    for (int i = 0; i < count; ++i) {
        const epoll_event& ready = impl_->Ready[static_cast<std::size_t>(i)];
        if (ready.data.u64 == kWakeToken) {
            std::uint64_t drained = 0;
            [[maybe_unused]] const ssize_t n = ::read(Raw(impl_->WakeFd), &drained, sizeof drained);
            continue;
        }
        TPollEvent event;
        event.Token = ready.data.u64;
        event.Readable = (ready.events & (EPOLLIN | EPOLLERR | EPOLLHUP)) != 0;
        event.Writable = (ready.events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) != 0;
        events.push_back(event);
    }
}

void TEventPoller::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(Raw(impl_->WakeFd), &one, sizeof one);
}

}  // namespace kstbell::sim
