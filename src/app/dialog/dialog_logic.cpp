#include "app/dialog/dialog_logic.h"

namespace fwup {
namespace {

// One axis: centred, then clamped, the low edge tested first.
std::int32_t CenterOnAxis(std::int32_t low, std::int32_t high, std::int32_t extent) {
    std::int32_t position = (low + high) / 2 - extent / 2;
    if (position < low)
        position = low;
    else if (position + extent > high)
        position = high - extent;
    return position;
}

}  // namespace

LanguageFlag ChooseLanguageFlag(std::uint16_t userDefaultLangId) {
    return userDefaultLangId != kChineseTextsLangId ? 1 : 0;
}

ScreenPoint CenterDialog(const ScreenRect& workArea, std::int32_t width, std::int32_t height) {
    return {CenterOnAxis(workArea.left, workArea.right, width),
            CenterOnAxis(workArea.top, workArea.bottom, height)};
}

DialogCommand RouteCommand(std::uint16_t commandId, std::uint16_t notificationCode) {
    switch (commandId) {
        case kUpdateButtonId: return DialogCommand::Update;
        case kCancelButtonId: return DialogCommand::Cancel;
        case kClearButtonId:
            return notificationCode == kButtonClicked ? DialogCommand::Clear : DialogCommand::None;
        default: return DialogCommand::None;
    }
}

}  // namespace fwup
