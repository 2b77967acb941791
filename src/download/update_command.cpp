#include "download/update_command.h"

#include <optional>

#include "download/download_protocol.h"
#include "download/vendor_usb_device.h"

namespace fwup {

int OnUpdate(UsbPlatform& platform, UserInterface& userInterface, LanguageFlag languageFlag,
             FirmwareImage image) {
    std::optional<VendorUsbDevice> device = OpenVendorUsbDevice(platform);
    if (!device) {
        userInterface.SetStatusText(Choose(kOpenDriverFailedText, languageFlag));
        return 0;
    }
    // The status line draws this at once: the download blocks the dialog.
    userInterface.SetStatusText(Choose(kUpdateWaitText, languageFlag));
    const DownloadResult result =
        DownloadFirmware(*device, kUpdateEndFlag, image, kUpdateTimeoutMs);
    userInterface.SetStatusText(
        Choose(result == DownloadResult::Ok ? kUpdateSucceededText : kUpdateFailedText,
               languageFlag));
    CloseVendorUsbDevice(device);
    return 0;
}

}  // namespace fwup
