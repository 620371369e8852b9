#include "cli/report.h"

#include "cli/exit_codes.h"
#include "cli/json_text.h"
#include "cli/outcome_text.h"
#include "cli/text_safety.h"

namespace kstbell::cli {

TReport::TReport(std::ostream& out, std::ostream& err, bool json, bool quiet)
    : out_(out), err_(err), json_(json), quiet_(quiet) {}

void TReport::SetSubjectKey(std::string key) {
    std::lock_guard lock(mutex_);
    subjectKey_ = std::move(key);
}

void TReport::SetHeading(std::string heading) {
    std::lock_guard lock(mutex_);
    heading_ = std::move(heading);
}

void TReport::HeadingOnce() {
    if (headingShown_ || json_ || quiet_ || heading_.empty()) return;
    headingShown_ = true;
    out_ << heading_ << '\n';
}

void TReport::Success(const std::string& device, const nlohmann::ordered_json& result,
                      const std::string& human) {
    std::lock_guard lock(mutex_);
    ++successes_;
    if (json_) {
        out_ << JsonLine({{subjectKey_, device}, {"ok", true}, {"result", result}}) << std::endl;
        return;
    }
    HeadingOnce();
    out_ << human;
    if (human.empty() || human.back() != '\n') out_ << '\n';
    out_.flush();
}

void TReport::Failure(const std::string& device, const TOutcome& o) {
    Failure(device, ErrorJson(o));
}

void TReport::Failure(const std::string& device, const nlohmann::ordered_json& error) {
    std::lock_guard lock(mutex_);
    const std::string kind = error.value("kind", "socket_error");
    ++failures_[kind];
    if (json_) {
        out_ << JsonLine({{subjectKey_, device}, {"ok", false}, {"error", error}}) << std::endl;
        return;
    }
    const std::string message = error.value("message", "");
    err_ << "kstbellctl: " << device << ": " << kind << ": " << EscapeForTerminal(message)
         << std::endl;
}

void TReport::Failure(const std::vector<std::string>& devices, const TOutcome& o) {
    Failure(devices, ErrorJson(o));
}

void TReport::Failure(const std::vector<std::string>& devices,
                      const nlohmann::ordered_json& error) {
    if (json_ || devices.size() == 1) {
        for (const auto& device : devices)
            Failure(device, error);
        return;
    }
    std::lock_guard lock(mutex_);
    failures_[error.value("kind", "socket_error")] += devices.size();
    if (devices.empty()) return;
    err_ << "kstbellctl: " << devices.front() << " and " << devices.size() - 1
         << " more devices: " << error.value("kind", "") << ": "
         << EscapeForTerminal(error.value("message", "")) << std::endl;
}

void TReport::Failure(const std::string& device, const nlohmann::ordered_json& error,
                      const std::string& human) {
    if (json_) {
        Failure(device, error);
        return;
    }
    std::lock_guard lock(mutex_);
    ++failures_[error.value("kind", "socket_error")];
    HeadingOnce();
    out_ << human << std::endl;
}

void TReport::Interrupted(const std::string& device, const std::string& message) {
    Failure(device, nlohmann::ordered_json{{"kind", "interrupted"}, {"message", message}});
}

void TReport::Interrupted(const std::vector<std::string>& devices, const std::string& message) {
    Failure(devices, nlohmann::ordered_json{{"kind", "interrupted"}, {"message", message}});
}

void TReport::Remark(const std::string& text) {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    err_ << text << std::endl;
}

void TReport::Error(const std::string& text) {
    std::lock_guard lock(mutex_);
    err_ << "kstbellctl: " << text << std::endl;
}

void TReport::MarkDiffers() {
    std::lock_guard lock(mutex_);
    differs_ = true;
}

void TReport::MarkRefusedInput() {
    std::lock_guard lock(mutex_);
    refusedInput_ = true;
}

std::size_t TReport::Successes() const {
    std::lock_guard lock(mutex_);
    return successes_;
}

std::size_t TReport::Failures() const {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& [kind, count] : failures_)
        n += count;
    return n;
}

int TReport::ExitCode() const {
    std::lock_guard lock(mutex_);
    if (failures_.count("interrupted") != 0) return kExitInterrupted;
    if (refusedInput_) return kExitUsage;
    if (failures_.empty()) return differs_ ? kExitFailed : kExitOk;
    if (failures_.size() > 1) return kExitFailed;
    const std::string& only = failures_.begin()->first;
    if (only == "unreachable") return kExitUnreachable;
    if (only == "refused" || only == "unauthenticated" || only == "forbidden") return kExitRefused;
    if (only == "verify_failed") return kExitVerifyFailed;
    return kExitFailed;
}

}  // namespace kstbell::cli
