#pragma once

// Where every device's result goes: a line of JSON per device, or a human line or block; as the
// results come in, from any worker thread. Counts the failures by kind for the exit code.

#include <cstddef>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

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
    // The key that names what a JSON line is about: "device" unless a verb talks to something
    // else (the site service: "service").
    void SetSubjectKey(std::string key);

    // A table heading for human output; printed once, before the first result, unless quiet.
    void SetHeading(std::string heading);
    // A device that did what was asked: the result object in JSON, else the human text (one or
    // more whole lines, device texts already escaped).
    void Success(const std::string& device, const nlohmann::ordered_json& result,
                 const std::string& human);
    // A device that failed: the error in JSON, else a line on the error stream.
    void Failure(const std::string& device, const TOutcome& o);
    void Failure(const std::string& device, const nlohmann::ordered_json& error);
    // The same failure for several devices (a value refused before any was contacted): in JSON
    // a line for each, for a person one line for all of them.
    void Failure(const std::vector<std::string>& devices, const TOutcome& o);
    void Failure(const std::vector<std::string>& devices, const nlohmann::ordered_json& error);
    // The same, where a failure is an event of the output (watch): the human line goes to the
    // output stream.
    void Failure(const std::string& device, const nlohmann::ordered_json& error,
                 const std::string& human);
    // A device whose work an interrupt stopped: what was done is in message. Any such device
    // makes the run exit 130.
    void Interrupted(const std::string& device, const std::string& message);
    void Interrupted(const std::vector<std::string>& devices, const std::string& message);
    // A remark for the person at the terminal (stderr), unless quiet.
    void Remark(const std::string& text);
    // A line on the error stream whatever the mode (e.g. a usage problem).
    void Error(const std::string& text);
    // The verb found a difference (config diff): a run without failures then exits 1.
    void MarkDiffers();
    // A file or value given was refused before its devices were contacted (a malformed
    // snapshot): the run exits 2 whatever else happened.
    void MarkRefusedInput();

    std::size_t Successes() const;
    std::size_t Failures() const;
    // 130 after an interrupt was reported; 2 after MarkRefusedInput; 0 when nothing failed (1 after
    // MarkDiffers); 3, 4 or 5 when every failure was unreachable, refused (also: credentials the
    // site service refused, unauthenticated or forbidden) or verify_failed; 1 otherwise.
    int ExitCode() const;

  private:
    void HeadingOnce();

    std::ostream& out_;
    std::ostream& err_;
    const bool json_;
    const bool quiet_;
    mutable std::mutex mutex_;
    std::string heading_;
    std::string subjectKey_ = "device";
    bool headingShown_ = false;
    bool differs_ = false;
    bool refusedInput_ = false;
    std::size_t successes_ = 0;
    std::map<std::string, std::size_t> failures_;  // by kind name
};

}  // namespace kstbell::cli
