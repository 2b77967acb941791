#pragma once

#include <cstdint>
#include <string>

#include "app/terminal/device_run.h"
#include "app/terminal/front_end.h"
#include "app/terminal/progress_line.h"
#include "app/terminal/terminal_output.h"
#include "core/progress.h"
#include "storage/clear_command.h"

namespace fwup {

// Whether Ctrl-C (or a request to end) has come.
bool Interrupted(const FrontEnd& frontEnd);

// One device's view on the terminal, and the sink its command reports to:
// alone, the wait text and a progress line; among several, a line on the
// board. Exchanges are traced with -v; Ctrl-C asks the command to stop.
class DeviceView : public ProgressSink {
public:
    DeviceView(const FrontEnd& frontEnd, TerminalOutput& output, const std::string& id,
               ProgressBoard* board);

    void State(const TerminalText& text);
    // A text of the caller's own on the device's line, standing out as told.
    void Show(const std::string& utf8Text, ProgressBoard::Tone tone);
    void OnProgress(const Progress& progress) override;
    void OnExchange(const CommandExchange& exchange) override;
    void OnScsiCommand(const ScsiExchange& exchange) override;
    bool StopRequested() override { return Interrupted(frontEnd_); }
    void Finish();  // ends the progress line before anything else is said

private:
    const FrontEnd& frontEnd_;
    TerminalOutput& output_;
    std::string id_;
    ProgressBoard* board_;
    int index_ = 0;
    ProgressLine line_;
    bool started_ = false;
    bool drawing_ = false;
    int quartersShown_ = 0;  // where nothing is redrawn
};

// -v's line on a device that failed: the step, and what the download or the
// failing SCSI command said; empty for a device that did not fail.
std::string FailureTrace(const DeviceRun& run);

// Whether a typed answer is an explicit yes ("y", "yes" or "是", as UTF-8).
bool IsExplicitYes(std::string answer);

// Asked on the terminal (on standard error, whatever standard output is);
// only an explicit yes counts. --yes answers it in advance; without a
// terminal to ask on, it counts as No.
class TerminalQuestion : public EraseQuestion {
public:
    TerminalQuestion(const FrontEnd& frontEnd, TerminalOutput& output)
        : frontEnd_(frontEnd), output_(output) {}
    bool ConfirmErase(std::uint16_t version) override;

    bool couldNotAsk = false;

private:
    const FrontEnd& frontEnd_;
    TerminalOutput& output_;
};

}  // namespace fwup
