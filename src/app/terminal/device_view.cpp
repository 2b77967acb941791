#include "app/terminal/device_view.h"

#include "app/terminal/text_format.h"
#include "core/device_model.h"

namespace fwup {

bool Interrupted(const FrontEnd& frontEnd) {
    return frontEnd.interrupted != nullptr && frontEnd.interrupted->load();
}

DeviceView::DeviceView(const FrontEnd& frontEnd, TerminalOutput& output, const std::string& id,
                       ProgressBoard* board)
    : frontEnd_(frontEnd), output_(output), id_(id), board_(board),
      line_(output, frontEnd.language, frontEnd.columns) {
    if (board_ != nullptr) index_ = board_->AddLine(id);
}

void DeviceView::State(const TerminalText& text) {
    if (board_ != nullptr) board_->SetText(index_, Say(text, frontEnd_.language));
}

void DeviceView::Show(const std::string& utf8Text, ProgressBoard::Tone tone) {
    if (board_ != nullptr) board_->SetText(index_, utf8Text, tone);
}

void DeviceView::OnProgress(const Progress& progress) {
    // Among several, the board says when a device's erase is under way.
    if (progress.step == Step::Erase) {
        if (progress.done == 0) State(kStateErasing);
        return;
    }
    if (board_ != nullptr) {
        board_->SetProgress(index_, progress);
        return;
    }
    if (!started_) output_.Message(Say(kUpdateWaitText, frontEnd_.language));
    started_ = true;
    if (frontEnd_.drawProgress) {
        // The line is drawn on standard error, and ended before anything else is said.
        line_.Update(progress);
        drawing_ = true;
        return;
    }
    const std::string quarter = QuarterLine(id_, progress, quartersShown_);
    if (!quarter.empty()) output_.Message(quarter);
}

void DeviceView::Finish() {
    if (drawing_) line_.Finish();
    drawing_ = false;
}

void DeviceView::OnExchange(const CommandExchange& exchange) {
    const int verbosity = frontEnd_.commandLine.verbosity;
    if (verbosity == 0) return;
    const char* name = exchange.code == kBeginCommandCode  ? "begin"
                       : exchange.code == kDataCommandCode ? "data"
                                                           : "end";
    std::string line = id_ + ": " + name;
    if (exchange.code == kDataCommandCode) line += Format(" 0x%08X", exchange.address);
    line += Format(", length %u: ", exchange.length);
    if (exchange.reply == nullptr) {
        line += "no reply";
    } else {
        line += "reply";
        if (exchange.replyLength > 0) line.append(" ").append(HexBytes(exchange.reply, exchange.replyLength));
    }
    line += exchange.result == DownloadResult::Ok ? ", accepted" : Format(", result %d",
                                                                         static_cast<int>(exchange.result));
    if (verbosity > 1) {
        auto dump = [&](const char* what, const std::uint8_t* bytes, std::uint32_t count) {
            for (std::uint32_t at = 0; at < count; at += 16) {
                line += Format("\n  %-6s %04X ", at == 0 ? what : "", at);
                for (std::uint32_t i = at; i < count && i < at + 16; ++i)
                    line += Format(" %02X", bytes[i]);
            }
        };
        dump("header", exchange.header, kCommandHeaderSize);
        dump(exchange.code == kDataCommandCode ? "data" : "payload", exchange.data,
             exchange.dataLength);
        if (exchange.reply != nullptr) dump("reply", exchange.reply, exchange.replyLength);
    }
    output_.Message(line);
}

void DeviceView::OnScsiCommand(const ScsiExchange& exchange) {
    if (frontEnd_.commandLine.verbosity == 0) return;
    const ScsiResult& result = exchange.result;
    std::string line = id_ + ": scsi " + HexBytes(exchange.cdb, exchange.cdbLength) + ": ";
    line += result.carriedOut ? "carried out" : "not carried out";
    line += Format(", status 0x%02X", result.scsiStatus);
    if (result.sense.length > 0)
        line += ", sense " + HexBytes(result.sense.bytes.data(), result.sense.length);
    line += Format(", %u bytes", result.bytesMoved);
    output_.Message(line);
}

namespace {

// What the failing SCSI command said, where one failed.
std::string DriveDetail(DriveStep step, const std::optional<DriveFailure>& failure) {
    if (!failure || (step != DriveStep::UserId && step != DriveStep::Erase)) return {};
    std::string line = Format(", status 0x%02X", failure->scsiStatus);
    if (failure->sense.length > 0)
        line += ", sense " + HexBytes(failure->sense.bytes.data(), failure->sense.length);
    return line;
}

// What the link and the download said.
std::string UpdateDetail(const UpdateResult& update) {
    std::string line = std::string(", link ") + LinkStatusName(update.link);
    if (!update.download) return line;
    const DownloadReport& download = *update.download;
    return std::string(", download result ") + DownloadResultName(download.result) + line +
           Format(", %llu of %llu bytes accepted",
                  static_cast<unsigned long long>(download.bytesAccepted),
                  static_cast<unsigned long long>(download.bytesTotal));
}

std::string Detail(const Listed&) { return {}; }
std::string Detail(const Refusal&) { return {}; }
std::string Detail(const DeviceInfo& info) { return DriveDetail(info.step, info.failure); }
std::string Detail(const ClearResult& clear) { return DriveDetail(clear.step, clear.failure); }
std::string Detail(const UpdateResult& update) { return UpdateDetail(update); }
std::string Detail(const RunResult& run) {
    if (run.update) return UpdateDetail(*run.update);
    return run.clear ? Detail(*run.clear) : std::string();
}

}  // namespace

std::string FailureTrace(const DeviceRun& run) {
    const char* step = StepName(run.result);
    if (Succeeded(KindOf(run.result)) || step == nullptr) return {};
    const Refusal* refusal = std::get_if<Refusal>(&run.result);
    const std::string& id =
        run.device.id.empty() && refusal != nullptr ? refusal->deviceId : run.device.id;
    return id + ": failed at " + step +
           std::visit([](const auto& one) { return Detail(one); }, run.result);
}

bool IsExplicitYes(std::string answer) {
    const char* blanks = " \t\r\n";
    const std::size_t first = answer.find_first_not_of(blanks);
    if (first == std::string::npos) return false;
    answer = answer.substr(first, answer.find_last_not_of(blanks) - first + 1);
    for (char& c : answer)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return answer == "y" || answer == "yes" || answer == "是";
}

bool TerminalQuestion::ConfirmErase(std::uint16_t version) {
    const Language language = frontEnd_.language;
    const std::string question = Format(Say(kQuestionText, language),
                                        static_cast<unsigned>(version >> 8),
                                        static_cast<unsigned>(version & 0xFF));
    if (frontEnd_.commandLine.assumeYes) {
        // Among several devices' lines the answer given in advance goes unsaid.
        if (!frontEnd_.commandLine.all) output_.Message(question + " " + Say(kAnsweredYes, language));
        return true;
    }
    if (!frontEnd_.inIsTerminal) {
        output_.Message(question);
        couldNotAsk = true;
        return false;
    }
    output_.Raw(question + " [y/N] ");
    char answer[64] = {};
    // No answer at all (end of input, Ctrl-C) is no Yes either.
    if (std::fgets(answer, sizeof answer, frontEnd_.in) == nullptr) {
        output_.Raw("\n");
        return false;
    }
    // "是" arrives in the console's character set.
    return IsExplicitYes(frontEnd_.decodeTyped != nullptr
                             ? frontEnd_.decodeTyped(answer, frontEnd_.codeset)
                             : std::string(answer));
}

}  // namespace fwup
