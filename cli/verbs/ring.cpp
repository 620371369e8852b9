// ring: rings a group, or horns by address, through the site service, at the priority of
// manual rings; the site's longest ring applies.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <optional>

#include "cli/exit_codes.h"
#include "cli/service_verb.h"
#include "cli/text_safety.h"

namespace kstbell::cli {

namespace {

// "10s", "1.5s", "2m", "1h", or seconds without a unit: the seconds; nothing for anything else.
std::optional<double> DurationSeconds(const std::string& text) {
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (used == 0 || !std::isfinite(value) || text[0] == '+' || text[0] == '-' ||
        std::isspace(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    const std::string unit = text.substr(used);
    if (unit.empty() || unit == "s") return value;
    if (unit == "m") return value * 60;
    if (unit == "h") return value * 3600;
    return std::nullopt;
}

// The horns the ring did not switch on, with why, and those that had not answered, each on a
// line of its own; nothing when every horn switched on.
std::string SwitchLines(const nlohmann::ordered_json& ring) {
    std::string out;
    const auto notOn = ring.find("not_switched_on");
    if (notOn != ring.end() && notOn->is_array() && !notOn->empty()) {
        out += "\n  not switched on: ";
        for (std::size_t i = 0; i < notOn->size(); ++i) {
            std::string reason = Text((*notOn)[i], "reason");
            std::replace(reason.begin(), reason.end(), '_', ' ');
            out += (i ? ", " : "") + Text((*notOn)[i], "horn") + " (" + reason + ")";
        }
    }
    const auto pending = ring.find("pending");
    if (pending != ring.end() && pending->is_array() && !pending->empty())
        out += "\n  no answer yet (switched on when it answers): " + ListText(*pending);
    return out;
}

constexpr double kMinSeconds = 1;
constexpr double kMaxSeconds = 86400;

class TRing final : public TServiceVerb {
  public:
    TRing()
        : TServiceVerb({"ring", "ring a group, or horns by address, through the site service",
                        "the service's ring: id, start, end, clamped (cut to the site's longest "
                        "ring), horns, held_by_others (kept by a ring of higher priority), tone, "
                        "priority, cause, actor, label, switched_on, not_switched_on (horn, "
                        "reason, message), pending (no answer yet)"}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("GROUP", group_, "the group to ring (or give --horn)")->type_name("GROUP");
        verb.add_option("--horn", horns_, "a horn's address instead of a group; repeatable")
            ->type_name("ADDR")
            ->expected(1)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        verb.add_option("--tone", tone_, "the tone, 0 to 3 (default 0)")
            ->type_name("N")
            ->check(CLI::Range(0, 3));
        verb.add_option("--for", duration_,
                        "how long: 10s, 1.5m, 1h or seconds (1 s to 24 h); default until "
                        "stopped, at most the site's longest ring")
            ->type_name("DURATION");
    }

  protected:
    int Ask(TVerbContext& c, TServiceClient& service) override {
        if (group_.empty() == horns_.empty()) {
            c.Report.Error("ring: give a GROUP or --horn ADDR, not both and not neither");
            return kExitUsage;
        }
        nlohmann::json body;
        if (group_.empty())
            body["horns"] = horns_;
        else
            body["group"] = group_;
        body["tone"] = tone_;
        if (!duration_.empty()) {
            const auto seconds = DurationSeconds(duration_);
            if (!seconds || *seconds < kMinSeconds || *seconds > kMaxSeconds) {
                c.Report.Error("--for " + duration_ +
                               ": give 1 s to 24 h as 10s, 1.5m, 1h or a number of seconds");
                return kExitUsage;
            }
            body["duration_s"] = *seconds;
        }
        const TServiceAnswer answer = service.Post("/ring", body, "ring");
        if (!answer.Ok) {
            // A ring none of whose horns switched on comes back with the ring: which, and why.
            if (!c.Report.Json() && answer.Body.contains("ring") && answer.Error.is_object()) {
                // On the error's one line (the report escapes line breaks in it).
                std::string lines = SwitchLines(answer.Body["ring"]);
                for (auto at = lines.find("\n  "); at != std::string::npos;
                     at = lines.find("\n  ", at))
                    lines.replace(at, 3, "; ");
                TServiceAnswer shown = answer;
                shown.Error["message"] = answer.Error.value("message", "") + lines;
                return ReportFailure(c, shown);
            }
            return ReportFailure(c, answer);
        }
        const auto& ring = answer.Body.contains("ring") ? answer.Body["ring"] : answer.Body;
        const std::size_t horns = ring.contains("horns") ? ring["horns"].size() : 0;
        std::string human = "ring " + Number(ring, "id") + " on " + std::to_string(horns) +
                            (horns == 1 ? " horn" : " horns") +
                            (group_.empty() ? std::string() : " of " + EscapeForTerminal(group_)) +
                            ", tone " + std::to_string(tone_) + ", until " + Text(ring, "end");
        if (ring.value("clamped", false)) human += " (cut to the site's longest ring)";
        if (ring.contains("switched_on") && ring["switched_on"].is_array())
            human += "; " + std::to_string(ring["switched_on"].size()) + " of " +
                     std::to_string(horns) + " switched on" + SwitchLines(ring);
        if (ring.contains("held_by_others") && !ring["held_by_others"].empty())
            human += "\n  held by a ring of higher priority, not rung: " +
                     ListText(ring["held_by_others"]);
        return ReportSuccess(c, ring, human);
    }

  private:
    std::string group_;
    std::vector<std::string> horns_;
    int tone_ = 0;
    std::string duration_;
};

}  // namespace

std::unique_ptr<TVerb> MakeRingVerb() {
    return std::make_unique<TRing>();
}

}  // namespace kstbell::cli
