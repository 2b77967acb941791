#include "download/update_command.h"

#include <optional>

#include "download/download_protocol.h"
#include "download/vendor_usb_device.h"

namespace fwup {
namespace {

// "打开驱动失败"
constexpr LocalizedText kOpenFailedText{"Open the driver failed",
                                        "\xB4\xF2\xBF\xAA\xC7\xFD\xB6\xAF\xCA\xA7\xB0\xDC"};
// "正在更新固件, 请等候......"
constexpr LocalizedText kWaitText{
    "Update the firmware, Please wait...",
    "\xD5\xFD\xD4\xDA\xB8\xFC\xD0\xC2\xB9\xCC\xBC\xFE, \xC7\xEB\xB5\xC8\xBA\xF2......"};
// "更新固件成功"
constexpr LocalizedText kSucceededText{"Update the firmware successfully",
                                       "\xB8\xFC\xD0\xC2\xB9\xCC\xBC\xFE\xB3\xC9\xB9\xA6"};
// "更新固件失败"
constexpr LocalizedText kFailedText{"Update the firmware failure",
                                    "\xB8\xFC\xD0\xC2\xB9\xCC\xBC\xFE\xCA\xA7\xB0\xDC"};

}  // namespace

int OnUpdate(UsbPlatform& platform, UserInterface& userInterface, LanguageFlag languageFlag,
             FirmwareImage image) {
    std::optional<VendorUsbDevice> device = OpenVendorUsbDevice(platform);
    if (!device) {
        userInterface.SetStatusText(Choose(kOpenFailedText, languageFlag));
        return 0;
    }
    // The status line draws this at once: the download blocks the dialog.
    userInterface.SetStatusText(Choose(kWaitText, languageFlag));
    const DownloadResult result =
        DownloadFirmware(*device, kUpdateEndFlag, image, kUpdateTimeoutMs);
    userInterface.SetStatusText(
        Choose(result == DownloadResult::Ok ? kSucceededText : kFailedText, languageFlag));
    CloseVendorUsbDevice(device);
    return 0;
}

}  // namespace fwup
