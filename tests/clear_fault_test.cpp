// Every command of the Clear story crossed with every way the device can
// misbehave there: the text the user sees, what reached the device, and that
// nothing follows the failure.

#include <gtest/gtest.h>

#include "app/dialog/dialog_commands.h"
#include "recording_user_interface.h"
#include "storage/vendor_scsi_commands.h"
#include "storage_test_support.h"
#include "test_images.h"

namespace fwup::test {
namespace {

struct StoryStep {
    std::uint8_t command;  // CDB byte 1 of the command that misbehaves
    LocalizedText shown;   // what the status line then shows
    std::vector<std::uint8_t> reached;  // the commands the device's volume received
    bool asked;
};

TEST(ClearFaults, EveryCommandCrossedWithEveryFault) {
    const StoryStep steps[] = {
        {kVersionQueryCommand, kOpenDriverFailedText, {0x10}, false},
        {kUserIdQueryCommand, kGetUserIdFailureText, {0x10, 0xAA}, false},
        {kEraseCommand, kClearFailedText, {0x10, 0xAA, 0xFF}, true},
    };
    // Replies cut short after 0 to 3 bytes: a query needs its whole reply,
    // so the zeros of the cleared buffer never decide an erase.
    const StorageFault faults[] = {{ScsiFault::PassThroughFails, 0}, {ScsiFault::NoSignature, 0},
                                   {ScsiFault::PermissionDenied, 0}, {ScsiFault::ShortReply, 0},
                                   {ScsiFault::ShortReply, 1},       {ScsiFault::ShortReply, 2},
                                   {ScsiFault::ShortReply, 3}};
    for (const StoryStep& step : steps) {
        for (const StorageFault& fault : faults) {
            for (LanguageFlag flag : {1, 0}) {
                SCOPED_TRACE(testing::Message()
                             << "command " << int(step.command) << ", fault "
                             << int(fault.kind) << "/" << fault.deliveredBytes << ", language " << flag);
                // A version-2.40 device with the accepted id goes through every step.
                SimulatedDevice device = DeviceInStorageMode("E", 0x0240);
                device.volumes["D"] = {VolumeKind::CdRom, false, true};
                device.InjectStorageFault(step.command, fault);
                RecordingUserInterface ui;
                ui.answer = true;

                OnClear(device, ui, flag, TestImage(), Hardware::Simulated);

                // The erase is judged by its signature alone: a reply cut
                // after the signature still says the device erased.
                const bool erased = step.command == kEraseCommand &&
                                    fault.kind == ScsiFault::ShortReply;
                const bool signedErase = erased && fault.deliveredBytes >= 2;
                const LocalizedText shown = signedErase ? kClearSucceededText : step.shown;
                EXPECT_EQ(ui.statusTexts, std::vector<std::string>{Choose(shown, flag)});
                EXPECT_EQ(ui.questions.size(), step.asked ? 1u : 0u);
                std::vector<Cdb> reached;
                for (std::uint8_t command : step.reached) reached.push_back(VendorCdbBytes(command));
                EXPECT_EQ(device.CdbsReceivedAt("E"), reached);
                EXPECT_EQ(device.EraseCount(), erased ? 1u : 0u);
                EXPECT_EQ(device.mode,
                          erased ? DeviceMode::ErasedAwaitingReplug : DeviceMode::StorageMode);
                EXPECT_EQ(device.OpenHandleCount(), 0);
                EXPECT_EQ(device.ProtocolErrors(), 0u);
            }
        }
    }
}

}  // namespace
}  // namespace fwup::test
