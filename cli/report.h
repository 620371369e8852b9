#pragma once

// Where every device's result goes: a line of JSON per device, or a human line or block; as the
// results come in, from any worker thread. Counts the failures by kind for the exit code.

#include <cstddef>
#include <map>
#include <mutex>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "device/outcome.h"

namespace kstbell::cli {

class TReport {
  public:
    TReport(std::ostream& out, std::ostream& err, bool json, bool quiet);

    bool Json() const { return json_; }
    bool Quiet() const { return quiet_; }
    // The output stream, for a verb whose results are not per device (site log).
    std::ostream& Out() { return out_; }

    // A table heading for human output; printed once, before the first result, unless quiet.
    void SetHeading(std::string heading);
    // A device that did what was asked: the result object in JSON, else the human text (one or
    // more whole lines, device texts already escaped).
    void Success(const std::string& device, const nlohmann::ordered_json& result,
                 const std::string& human);
    // A device that failed: the error in JSON, else a line on the error stream.
    void Failure(const std::string& device, const TOutcome& o);
    void Failure(const std::string& device, const nlohmann::ordered_json& error);
    // The same, where a failure is an event of the output (watch): the human line goes to the
    // output stream.
    void Failure(const std::string& device, const nlohmann::ordered_json& error,
                 const std::string& human);
    // A remark for the person at the terminal (stderr), unless quiet.
    void Remark(const std::string& text);
    // A line on the error stream whatever the mode (e.g. a usage problem).
    void Error(const std::string& text);
    // The verb found a difference (config diff): a run without failures then exits 1.
    void MarkDiffers();

    std::size_t Successes() const;
    std::size_t Failures() const;
    // 0 when nothing failed (1 after MarkDiffers); 3, 4 or 5 when every failure was unreachable,
    // refused or verify_failed; 1 otherwise.
    int ExitCode() const;

  private:
    void HeadingOnce();

    std::ostream& out_;
    std::ostream& err_;
    const bool json_;
    const bool quiet_;
    mutable std::mutex mutex_;
    std::string heading_;
    bool headingShown_ = false;
    bool differs_ = false;
    std::size_t successes_ = 0;
    std::map<std::string, std::size_t> failures_;  // by kind name
};

}  // namespace kstbell::cli
