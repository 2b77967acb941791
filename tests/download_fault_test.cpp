// Every pipe transfer of the embedded image's download crossed with every way
// the device can misbehave there.

#include <gtest/gtest.h>

#include "app/dialog/dialog_commands.h"
#include "recording_user_interface.h"
#include "test_images.h"

namespace fwup::test {
namespace {

// The embedded image's 62 transfers: begin (3), 14 data commands (4 each), end (3).
constexpr std::uint32_t kTransfers = 62;

enum class Command { Begin, Data, End };

Command CommandOf(std::uint32_t transfer) {
    if (transfer < 3) return Command::Begin;
    if (transfer >= kTransfers - 3) return Command::End;
    return Command::Data;
}

bool IsRead(std::uint32_t transfer) {
    if (transfer < 3) return transfer == 2;
    if (transfer >= kTransfers - 3) return transfer == kTransfers - 1;
    return (transfer - 3) % 4 == 3;
}

DownloadResult Rejection(Command command) {
    switch (command) {
        case Command::Begin: return DownloadResult::BeginRejected;
        case Command::Data: return DownloadResult::DataRejected;
        case Command::End: return DownloadResult::EndRejected;
    }
    return DownloadResult::Ok;
}

DownloadResult ExpectedResult(std::uint32_t transfer, TransferFault fault) {
    if (fault == TransferFault::RejectStatus) return Rejection(CommandOf(transfer));
    return DownloadResult::Failed;
}

TEST(DownloadFaults, EveryTransferCrossedWithEveryFault) {
    const Bytes image = EmbeddedImage();
    const TransferFault faults[] = {TransferFault::Fails,      TransferFault::TimeLimit,
                                    TransferFault::Stall,      TransferFault::Unplugged,
                                    TransferFault::ShortReply, TransferFault::BadReplyMarker,
                                    TransferFault::RejectStatus};
    {
        SimulatedDevice clean;
        ASSERT_EQ(DownloadTo(clean, image), DownloadResult::Ok);
        ASSERT_EQ(clean.Traffic().size(), kTransfers);
    }
    for (std::uint32_t transfer = 0; transfer < kTransfers; ++transfer) {
        for (TransferFault fault : faults) {
            const bool replyFault = fault == TransferFault::ShortReply ||
                                    fault == TransferFault::BadReplyMarker ||
                                    fault == TransferFault::RejectStatus;
            if (replyFault && !IsRead(transfer)) continue;  // writes carry no reply
            SCOPED_TRACE(testing::Message() << "transfer " << transfer << ", fault "
                                            << static_cast<int>(fault));
            SimulatedDevice device;
            device.InjectFault(transfer, fault);
            EXPECT_EQ(DownloadTo(device, image), ExpectedResult(transfer, fault));
            // The faulty transfer is the last one: nothing is sent after a failure.
            EXPECT_EQ(device.Traffic().size(), transfer + 1);
            EXPECT_FALSE(device.FirmwareComplete());
            EXPECT_EQ(device.ElapsedMs(), fault == TransferFault::TimeLimit ? kUpdateTimeoutMs : 0u);
            EXPECT_EQ(device.ProtocolErrors(), 0u);
            EXPECT_EQ(device.OpenHandleCount(), 0);

            // The Update command shows the wait text, then the one failure text.
            SimulatedDevice pressed;
            pressed.InjectFault(transfer, fault);
            RecordingUserInterface ui;
            OnUpdate(pressed, ui, 1, Described(image), Hardware::Simulated);
            EXPECT_EQ(ui.statusTexts, (std::vector<std::string>{
                                          "Update the firmware, Please wait...",
                                          "Update the firmware failure"}));
            EXPECT_EQ(pressed.Traffic().size(), transfer + 1);
            EXPECT_EQ(pressed.OpenHandleCount(), 0);
        }
    }
}

TEST(DownloadFaults, ShortReplyIsNeverJudgedFromTheBufferBeforeTheRead) {
    // The data command's reply buffer once held the address just sent: an
    // address whose bytes begin 02 00 would have passed for an acceptance.
    const Bytes image = MakeImage({{0x00000002, {1, 2, 3}}});
    SimulatedDevice device;
    device.InjectFault(6, TransferFault::ShortReply);
    EXPECT_EQ(DownloadTo(device, image), DownloadResult::Failed);
    EXPECT_EQ(device.Traffic().size(), 7u);
}

// A reply is judged by its first byte, then its status byte, and only by
// what arrived: 2 bytes are enough, fewer never are.
TEST(DownloadFaults, RepliesAreJudgedByTheBytesThatArrived) {
    struct Case {
        Bytes reply;
        DownloadResult result;
    };
    const Case cases[] = {
        {{0x02, 0x00, 0xAA, 0xBB}, DownloadResult::Ok},
        {{0x02, 0x00, 0x00}, DownloadResult::Ok},
        {{0x02, 0x00}, DownloadResult::Ok},
        {{0x02}, DownloadResult::Failed},
        {{}, DownloadResult::Failed},
        {{0x02, 0x05, 0x00, 0x00}, DownloadResult::DataRejected},
        {{0x03, 0x01, 0x00, 0x00}, DownloadResult::Failed},  // byte 0 first: not a rejection
        {{0x00, 0x00, 0x00, 0x00}, DownloadResult::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.reply));
        SimulatedDevice device;
        device.InjectReply(6, c.reply);  // the first data command's reply
        const DownloadResult result = DownloadTo(device, EmbeddedImage());
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(device.Traffic().size(), c.result == DownloadResult::Ok ? 62u : 7u);
    }
}

TEST(DownloadFaults, DeviceThatStopsAnsweringFailsAfterOneTimeLimit) {
    SimulatedDevice device;
    device.StopAnsweringFrom(20);
    EXPECT_EQ(DownloadTo(device, EmbeddedImage()), DownloadResult::Failed);
    EXPECT_EQ(device.Traffic().size(), 21u);
    EXPECT_EQ(device.ElapsedMs(), kUpdateTimeoutMs);
}

}  // namespace
}  // namespace fwup::test
