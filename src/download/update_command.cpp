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

UpdateStep StepOf(std::uint8_t code) {
    switch (code) {
    case kBeginCommandCode: return UpdateStep::Begin;
    case kDataCommandCode: return UpdateStep::Data;
    case kEndCommandCode: return UpdateStep::End;
    default: return UpdateStep::None;
    }
}

OutcomeKind KindOf(DownloadResult result) {
    switch (result) {
    case DownloadResult::Ok: return OutcomeKind::Updated;
    case DownloadResult::Interrupted: return OutcomeKind::Interrupted;
    default: return OutcomeKind::Failed;
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

UpdateResult UpdateFirmware(UsbLink& link, const ImageDescription& image, Hardware hardware,
                            ProgressSink& sink, const UsbDeviceInfo* which) {
    UpdateResult result;
    VendorUsbSearch search = OpenVendorUsbDevice(link, which);
    // Closed on every way out, the memory running out included.
    struct CloseOnExit {
        std::optional<VendorUsbDevice>& device;
        ~CloseOnExit() { CloseVendorUsbDevice(device); }
    } closeOnExit{search.device};
    result.deviceId = search.deviceId;
    result.link = search.status;
    if (!search.device) {
        result.kind = OpenFailure(search.status);
        result.step = result.kind == OutcomeKind::NoDevice ? UpdateStep::Search : UpdateStep::Open;
        return result;
    }
    if (ChangesNothing(CarriedImageOf(image), hardware)) {
        result.kind = OutcomeKind::CarriesStandIn;
        return result;
    }
    DownloadReport report;
    report.bytesTotal = image.dataBytes;
    OutcomeRecorder recorder(sink);
    recorder.OnProgress({Step::Download, 0, report.bytesTotal});
    // An image the download would send cut short (the begin command alone, a
    // segment that ends with the file) fails as one the download refuses:
    // nothing is sent, so no device is left with part of an image as if whole.
    report.result = image.problem != ImageProblem::None
                        ? DownloadResult::Failed
                        : DownloadFirmware(*search.device, kUpdateEndFlag, image, kUpdateTimeoutMs,
                                           recorder);
    report.bytesAccepted = recorder.accepted;
    result.kind = KindOf(report.result);
    if (result.kind == OutcomeKind::Failed) result.step = StepOf(recorder.lastCode);
    result.link = search.device->lastStatus;
    result.download = report;
    return result;
}

}  // namespace fwup
