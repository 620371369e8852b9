// What the windows say about each kind of outcome.

#include <gtest/gtest.h>

#include "protocol/commands.h"
#include "shell/commit_boxes.h"
#include "support/offline_context.h"

namespace kstbell::test {
namespace {

TOutcome Make(TOutcomeKind kind, TPhase phase = TPhase::Request) {
    TOutcome o(kind);
    o.Phase = phase;
    o.Status = 0x15;
    o.Message = "Socket error: Connection reset by peer";
    o.Done = 2048;
    o.Total = 5000;
    return o;
}

TEST(OutcomeTextTest, EveryKindHasItsWordsAndItsBox) {
    struct Case {
        TOutcome outcome;
        std::string reason;
    };
    const Case cases[] = {
        {TOutcome(TOutcomeKind::Busy), "another request was using the link"},
        // Kept off by another program's hold of the horn: the session says so.
        {[] {
             TOutcome o(TOutcomeKind::Busy);
             o.Message = "another program on this PC is transferring to this horn";
             return o;
         }(),
         "another program on this PC is transferring to this horn"},
        {Make(TOutcomeKind::Unreachable), "the device could not be reached (Connect Timeout)"},
        {Make(TOutcomeKind::Unreachable, TPhase::Header),
         "the header could not be sent: the device could not be reached (Connect Timeout)"},
        {Make(TOutcomeKind::Unreachable, TPhase::DataConnect),
         "the data connection could not be made: Socket error: Connection reset by peer"},
        {Make(TOutcomeKind::NoReply), "the device did not answer"},
        {Make(TOutcomeKind::Refused, TPhase::Header), "the device refused it (status 0x15)"},
        {Make(TOutcomeKind::SocketError), "Socket error: Connection reset by peer"},
        {Make(TOutcomeKind::SocketError, TPhase::Data),
         "the data connection broke off after 2048 of 5000 bytes: Socket error: Connection "
         "reset by peer"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FailureReason(c.outcome), c.reason);
        // A setting ends with the error box naming the file or the command.
        TOffline o;
        TOutcome about = c.outcome;
        about.Path = "/local/locate.cfg";
        FinishSetting(o.Ctx, about, "done");
        ASSERT_EQ(o.Host.Boxes.size(), 1u);
        EXPECT_EQ(o.Host.Boxes[0].Caption, "Error found!");
        EXPECT_EQ(o.Host.Boxes[0].Text,
                  "The device file /local/locate.cfg could not be changed:\n" + c.reason);
    }
    TOffline o;
    TOutcome refused = Make(TOutcomeKind::Refused);
    refused.Command = CMD_SET_WIFI_MODE;
    FinishSetting(o.Ctx, refused, "done");
    FinishSetting(o.Ctx, TOutcome(TOutcomeKind::NotLocated), "done");  // the locator said why
    FinishSetting(o.Ctx, TOutcome(), "done");
    ASSERT_EQ(o.Host.Boxes.size(), 2u);
    EXPECT_EQ(o.Host.Boxes[0].Text,
              "The Wi-Fi mode request failed:\nthe device refused it (status 0x15)");
    EXPECT_EQ(o.Host.Boxes[1].Text, "done");
    EXPECT_EQ(o.Host.Boxes[1].Caption, "Information");
}

}  // namespace
}  // namespace kstbell::test
