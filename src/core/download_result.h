#pragma once

namespace fwup {

// The result of a download or of one of its commands; the values are part of
// the interface.
enum class DownloadResult : int {
    Ok = 0,
    Interrupted = 1,  // the caller asked it to stop: between two commands, or a
                      // transfer the device left waiting was called back
    Failed = 3,       // image refused, a transfer failed or timed out, or a malformed reply
    BeginRejected = 4,
    DataRejected = 6,
    EndRejected = 7,
};

}  // namespace fwup
