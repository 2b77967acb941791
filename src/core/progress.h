#pragma once

#include <cstdint>

#include "core/download_result.h"
#include "platform/scsi_drives.h"

namespace fwup {

enum class Step { Erase, Download };

// Progress of a step: bytes the device has accepted of those it will get.
// Sent once at the start of a step (done 0) and after every accepted command.
struct Progress {
    Step step = Step::Download;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

// One command exchange of a download, as it went: for a trace of what crossed
// the link. payload points at the bytes written after the header.
struct CommandExchange {
    std::uint8_t code = 0;
    std::uint32_t address = 0;  // data commands: the load address
    std::uint32_t length = 0;   // the header's payload length field
    const std::uint8_t* header = nullptr;  // the 6 header bytes
    const std::uint8_t* data = nullptr;    // data commands: the data bytes; else the payload
    std::uint32_t dataLength = 0;
    const std::uint8_t* reply = nullptr;   // the reply as read, or null when none was read
    std::uint32_t replyLength = 0;
    DownloadResult result = DownloadResult::Ok;
};

// One SCSI command of a storage-mode command, as it went: for a trace of what
// crossed to the device, as CommandExchange is for a download.
struct ScsiExchange {
    const std::uint8_t* cdb = nullptr;
    std::uint8_t cdbLength = 0;
    ScsiResult result;  // bytesMoved never more than was asked
};

// Where progress goes, and whence a request to stop comes. The dialog ignores
// all but the start of the download; the terminal draws it. Stopping happens
// only between two commands, never inside one.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void OnProgress(const Progress&) {}
    virtual void OnExchange(const CommandExchange&) {}
    virtual void OnScsiCommand(const ScsiExchange&) {}
    virtual bool StopRequested() { return false; }
};

// A sink that takes nothing and never asks to stop.
inline ProgressSink& NoProgress() {
    static ProgressSink none;
    return none;
}

}  // namespace fwup
