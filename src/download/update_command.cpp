#include "download/update_command.h"

#include "download/download_protocol.h"
#include "download/vendor_usb_device.h"

namespace fwup {
namespace {

OutcomeKind OpenFailure(LinkStatus status) {
    switch (status) {
    case LinkStatus::NotFound:
    case LinkStatus::Unavailable: return OutcomeKind::NoDevice;
    case LinkStatus::NoPermission: return OutcomeKind::NoPermission;
    default: return OutcomeKind::OpenFailed;
    }
}

CommandStep StepOf(std::uint8_t code) {
    switch (code) {
    case kBeginCommandCode: return CommandStep::Begin;
    case kDataCommandCode: return CommandStep::Data;
    case kEndCommandCode: return CommandStep::End;
    default: return CommandStep::None;
    }
}

// Passes everything on, and keeps what the outcome needs: the command that
// went last, and the image bytes accepted.
class OutcomeRecorder : public ProgressSink {
public:
    explicit OutcomeRecorder(ProgressSink& outer) : outer_(outer) {}
    void OnProgress(const Progress& progress) override {
        accepted = progress.done;
        outer_.OnProgress(progress);
    }
    void OnExchange(const CommandExchange& exchange) override {
        lastCode = exchange.code;
        outer_.OnExchange(exchange);
    }
    bool StopRequested() override { return outer_.StopRequested(); }

    std::uint8_t lastCode = 0;
    std::uint64_t accepted = 0;

private:
    ProgressSink& outer_;
};

}  // namespace

Outcome UpdateFirmware(UsbLink& link, const ImageDescription& image, const CommandSafety& safety,
                       ProgressSink& sink, const UsbDeviceInfo* which) {
    Outcome outcome;
    VendorUsbSearch search = OpenVendorUsbDevice(link, which);
    // Closed on every way out, the memory running out included.
    struct CloseOnExit {
        std::optional<VendorUsbDevice>& device;
        ~CloseOnExit() { CloseVendorUsbDevice(device); }
    } closeOnExit{search.device};
    outcome.deviceId = search.deviceId;
    if (!search.device) {
        outcome.kind = OpenFailure(search.status);
        outcome.step = outcome.kind == OutcomeKind::NoDevice ? CommandStep::Search
                                                             : CommandStep::Open;
        outcome.link = search.status;
        return outcome;
    }
    outcome.bytesTotal = image.dataBytes;
    if (safety.imageIsStandIn) {
        outcome.kind = OutcomeKind::CarriesStandIn;
        return outcome;
    }
    OutcomeRecorder recorder(sink);
    recorder.OnProgress({Step::Download, 0, outcome.bytesTotal});
    const DownloadResult result =
        DownloadFirmware(*search.device, kUpdateEndFlag, image, kUpdateTimeoutMs, recorder);
    outcome.download = result;
    outcome.link = search.device->lastStatus;
    outcome.bytesAccepted = recorder.accepted;
    if (result == DownloadResult::Ok) {
        outcome.kind = OutcomeKind::Updated;
    } else if (result == DownloadResult::Interrupted) {
        outcome.kind = OutcomeKind::Interrupted;
    } else {
        outcome.kind = OutcomeKind::Failed;
        outcome.step = StepOf(recorder.lastCode);
    }
    return outcome;
}

}  // namespace fwup
