#include "web/static_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kstbell::web {

namespace {

// A file descriptor closed when it goes.
class TFd {
  public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

bool PlainName(std::string_view segment) {
    if (segment.empty() || segment.front() == '.') return false;
    // C0 controls only (DEL passes), not text::IsControlByte: the rule the page's file names
    // have always been checked by.
    for (const char c : segment) {
        if (c == '/' || c == '\\' || c == '\0' || static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return true;
}

std::string ContentTypeOf(std::string_view name) {
    const auto dot = name.rfind('.');
    const auto ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    if (ext == "html") return "text/html; charset=utf-8";
    if (ext == "css") return "text/css; charset=utf-8";
    if (ext == "js" || ext == "mjs") return "text/javascript; charset=utf-8";
    if (ext == "json") return "application/json";
    if (ext == "webmanifest") return "application/manifest+json";
    if (ext == "svg") return "image/svg+xml";
    if (ext == "png") return "image/png";
    if (ext == "ico") return "image/x-icon";
    if (ext == "woff2") return "font/woff2";
    if (ext == "txt") return "text/plain; charset=utf-8";
    return "application/octet-stream";
}

std::optional<TStaticFile> TStaticFiles::Find(const std::vector<std::string>& segments) const {
    if (segments.empty()) return std::nullopt;
    for (const auto& segment : segments) {
        if (!PlainName(segment)) return std::nullopt;
    }
    auto dir = std::make_unique<TFd>(::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir->Get() < 0) return std::nullopt;
    for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
        auto next = std::make_unique<TFd>(::openat(
            dir->Get(), segments[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next->Get() < 0) return std::nullopt;
        dir = std::move(next);
    }
    // O_NONBLOCK: a FIFO planted in the folder does not hold the thread.
    const TFd file(::openat(dir->Get(), segments.back().c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > kMaxStaticBytes) {
        return std::nullopt;
    }
    TStaticFile out;
    out.ContentType = ContentTypeOf(segments.back());
    out.Body.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < out.Body.size()) {
        const auto n = ::read(file.Get(), out.Body.data() + done, out.Body.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    out.Body.resize(done);
    return out;
}

}  // namespace kstbell::web
