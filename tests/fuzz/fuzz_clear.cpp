// The Clear command against drives and a device whose every answer comes from
// the input: drive types, volumes that open or not, pass-through outcomes,
// reply bytes (with or without the signature, short or full) and the user's
// answer. Whatever happens: only removable and CD-ROM volumes are opened, at
// most one at a time, every one is closed; the erase is sent only when the
// policy allows it; the success text only after an erase the device answered
// with its signature; at most one status text, none when the user declines.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/dialog/dialog_commands.h"
#include "storage/vendor_scsi_commands.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

struct Answer {
    std::string volume;
    std::uint8_t command;  // CDB byte 1
    bool signed_;          // carried out and the reply began 55 33 with more than 2 bytes asked
    bool whole;            // all the bytes asked for arrived
    std::vector<std::uint8_t> reply;
};

class FuzzedDevice : public fwup::ScsiDrives, public fwup::UserInterface {
public:
    explicit FuzzedDevice(Input& input) : input_(input) {}

    std::vector<fwup::VolumeCandidate> FindCandidateVolumes() override {
        std::vector<fwup::VolumeCandidate> volumes;
        const int count = input_.Next() % 5;
        for (int i = 0; i < count; ++i) volumes.push_back({std::string(1, char('C' + i)), {}, {}});
        return volumes;
    }
    fwup::PlatformHandle OpenVolume(const fwup::VolumeCandidate& volume,
                                    fwup::DriveStatus* why) override {
        Require(open_.empty());  // at most one volume open at a time
        if (input_.Next() % 5 == 0) {
            *why = input_.Next() & 1 ? fwup::DriveStatus::NoPermission : fwup::DriveStatus::Failed;
            return fwup::kInvalidHandleValue;
        }
        *why = fwup::DriveStatus::Ok;
        const fwup::PlatformHandle handle = nextHandle_++;
        open_[handle] = volume.id;
        return handle;
    }
    fwup::ScsiResult Execute(fwup::PlatformHandle volume, const fwup::ScsiCommand& command) override {
        Require(open_.count(volume) == 1);
        Require(command.cdbLength == fwup::kVendorCdbLength && command.cdb[0] == 0x87);
        Require(command.direction == fwup::DataDirection::In);
        const std::uint8_t mode = input_.Next();
        const bool carriedOut = (mode & 3) != 0;
        const std::uint32_t delivered =
            (mode & 8) ? input_.Next() % (command.dataLength + 1) : command.dataLength;
        for (std::uint32_t i = 0; i < delivered; ++i) {
            std::uint8_t byte = input_.Next();
            if ((mode & 4) && i == 0) byte = 0x55;
            if ((mode & 4) && i == 1) byte = 0x33;
            command.data[i] = byte;  // AddressSanitizer checks the buffer is this long
        }
        std::vector<std::uint8_t> seen(command.data, command.data + command.dataLength);
        const bool signedReply = carriedOut && command.dataLength > 2 && seen[0] == 0x55 &&
                                 seen[1] == 0x33;
        answers_.push_back(
            {open_[volume], command.cdb[1], signedReply, delivered == command.dataLength, seen});
        return {carriedOut ? fwup::DriveStatus::Ok : fwup::DriveStatus::Failed, carriedOut, 0,
                delivered, {}};
    }
    void CloseVolume(fwup::PlatformHandle volume) override { Require(open_.erase(volume) == 1); }

    void SetStatusText(const char* text) override { texts_.push_back(text); }
    bool AskYesNo(const char* text, const char* caption) override {
        Require(std::strcmp(caption, fwup::kQuestionCaption) == 0);
        questions_.push_back(text);
        yes_ = input_.Next() & 1;
        return yes_;
    }

    Input& input_;
    std::map<fwup::PlatformHandle, std::string> open_;
    fwup::PlatformHandle nextHandle_ = 0x40;
    std::vector<Answer> answers_;
    std::vector<std::string> texts_;
    std::vector<std::string> questions_;
    bool yes_ = false;
};

// An image the download sends whole (one segment, then its trailer): Clear
// goes on only for a program that could then update the device.
const fwup::ImageDescription& GoodImage() {
    static const std::uint8_t bytes[] = {0x78, 0x56, 0x34, 0x12, 0x58, 0xA7, 0x00, 0x80,
                                         0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00,
                                         0x80, 0x61, 0x62, 0x63, 0x00, 0x00, 0x00, 0x00};
    static const fwup::ImageDescription image =
        fwup::DescribeImage({bytes, static_cast<std::uint32_t>(sizeof bytes)});
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const fwup::LanguageFlag language = input.Next() & 1;
    FuzzedDevice device(input);
    fwup::OnClear(device, device, language, GoodImage(), fwup::Hardware::Simulated);

    Require(device.open_.empty());
    Require(device.texts_.size() <= 1);

    // The device is the first volume that answered the version query.
    const Answer* found = nullptr;
    for (const Answer& answer : device.answers_)
        if (answer.command == fwup::kVersionQueryCommand && answer.signed_ && answer.whole) {
            found = &answer;
            break;
        }
    if (found == nullptr) {
        Require(device.texts_.size() == 1 &&
                device.texts_[0] == fwup::Choose(fwup::kOpenDriverFailedText, language));
        for (const Answer& answer : device.answers_) Require(answer.command == fwup::kVersionQueryCommand);
        return 0;
    }
    const std::uint16_t version = static_cast<std::uint16_t>(found->reply[2] << 8 | found->reply[3]);

    bool userIdPassed = version <= fwup::kUserIdCheckedAboveVersion;
    const Answer* erase = nullptr;
    for (const Answer& answer : device.answers_) {
        if (&answer <= found) continue;
        Require(answer.volume == found->volume);  // everything after the search goes to the device
        if (answer.command == fwup::kUserIdQueryCommand && answer.signed_ && answer.whole) {
            const std::uint32_t id = static_cast<std::uint32_t>(answer.reply[4]) << 24 |
                                     answer.reply[5] << 16 | answer.reply[6] << 8 | answer.reply[7];
            userIdPassed = id == fwup::kAcceptedUserId;
        }
        if (answer.command == fwup::kEraseCommand) erase = &answer;
    }
    const bool asked = !device.questions_.empty();
    Require(asked == (userIdPassed && version >= fwup::kQuestionFromVersion));
    if (erase != nullptr) {
        Require(userIdPassed);
        Require(version < fwup::kQuestionFromVersion || device.yes_);
    }
    const bool succeeded = !device.texts_.empty() &&
                           device.texts_[0] == fwup::Choose(fwup::kClearSucceededText, language);
    Require(succeeded == (erase != nullptr && erase->signed_));
    if (asked && !device.yes_) Require(device.texts_.empty() && erase == nullptr);
    return 0;
}
