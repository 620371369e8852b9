#include "cli/progress_line.h"

#include <cmath>
#include <cstdio>

namespace kstbell::cli {

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(250);

std::string Size(double bytes) {
    char buf[32];
    if (bytes >= 1024.0 * 1024.0)
        std::snprintf(buf, sizeof buf, "%.1f MiB", bytes / (1024.0 * 1024.0));
    else if (bytes >= 1024.0)
        std::snprintf(buf, sizeof buf, "%.0f KiB", bytes / 1024.0);
    else
        std::snprintf(buf, sizeof buf, "%.0f B", bytes);
    return buf;
}

}  // namespace

TProgressLine::TProgressLine(std::ostream& err, bool enabled, std::string label,
                             std::uint64_t total)
    : err_(err),
      enabled_(enabled),
      label_(std::move(label)),
      total_(total),
      start_(std::chrono::steady_clock::now()) {
    if (!enabled_) return;
    drawer_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, kRedraw, [this] { return done_; }))
            Draw();
    });
}

TProgressLine::~TProgressLine() {
    End();
}

void TProgressLine::End() {
    if (!enabled_) return;
    std::call_once(ended_, [this] {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        drawer_.join();
        Draw();
        err_ << '\n' << std::flush;
    });
}

void TProgressLine::Draw() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    // Back to the start of the line, the text, the rest of the line cleared.
    err_ << '\r' << Text(label_, sent_, total_, seconds) << "\x1b[K" << std::flush;
}

std::string TProgressLine::Text(const std::string& label, std::uint64_t sent, std::uint64_t total,
                                double seconds) {
    std::string text =
        label + ": " + Size(static_cast<double>(sent)) + " of " + Size(static_cast<double>(total));
    if (seconds <= 0.0 || sent == 0) return text;
    const double rate = static_cast<double>(sent) / seconds;
    text += ", " + Size(rate) + "/s";
    if (sent < total) {
        const double left = static_cast<double>(total - sent) / rate;
        text += ", " + std::to_string(static_cast<long long>(std::ceil(left))) + " s left";
    }
    return text;
}

}  // namespace kstbell::cli
