#pragma once

#include <string>
#include <vector>

#include "app/terminal/terminal_texts.h"
#include "app/terminal/device_run.h"
#include "core/outcome.h"

namespace fwup {

// The documented exit status of firmware-updater.
enum class ExitCode : int {
    Done = 0,
    DeviceFailed = 1,      // the device did not carry out a command, or a transfer failed
    Usage = 2,             // wrong usage, several devices and none chosen, an image refused
    NoDevice = 3,          // no device found, or none could be opened
    RefusedByPolicy = 4,   // the device's user id does not allow the update
    Declined = 5,          // the question was answered No (or could not be asked)
    NoPermission = 6,      // the device is there, but may not be opened or sent commands
    StandInImage = 7,      // the program carries the stand-in image: no real device is changed
    ErasedNotUpdated = 8,  // run: erased, but the device did not come back to be updated
    NotConfirmed = 9,      // run --confirm: updated, but not back at the image's version
    Interrupted = 130,     // stopped by Ctrl-C
};

// Every exit status, in the order of their numbers, and what each means in
// the sentence that --help ends with: "Exit status: 0 done, 1 …".
std::vector<ExitCode> AllExitCodes();
std::string ExitStatusSentence(Language language);

// The one table from what a command did to the exit status and to the name
// that machine-readable output gives it.
ExitCode ExitCodeOf(OutcomeKind kind);
const char* OutcomeName(OutcomeKind kind);

// The names that -v and the JSON document give the rest of an outcome: the
// failing step, the download's own result, how the failing transfer ended.
const char* StepName(DriveStep step);
const char* StepName(UpdateStep step);
// Where a device's command went wrong; null where nothing did.
const char* StepName(const CommandResult& result);
const char* DownloadResultName(DownloadResult result);
const char* LinkStatusName(LinkStatus status);
const char* DriveStatusName(DriveStatus status);

}  // namespace fwup
