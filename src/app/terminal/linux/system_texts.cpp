// What Linux asks of a user for rights, and how it names a device.
#include "app/terminal/terminal_texts.h"

namespace fwup {

const SystemTexts kSystemTexts{
    {"No permission to open %s: run as root, or install the udev rule and plug the device in "
     "again.",
     "没有权限打开 %s：请以 root 身份运行，或安装 udev 规则后重新插拔设备。"},
    {"No permission to send commands to %s: run as root (the vendor commands need "
     "CAP_SYS_RAWIO).",
     "没有权限向 %s 发送命令：请以 root 身份运行（厂商命令需要 CAP_SYS_RAWIO）。"},
    {"needs root", "需要 root 权限"},
    {"clear, info and list read the device in storage mode, which needs root (the vendor "
     "commands need CAP_SYS_RAWIO); update needs root unless the udev rule is installed.",
     "clear、info 和 list 读取存储模式的设备，需要 root 权限（厂商命令需要 CAP_SYS_RAWIO）；"
     "update 除非已安装 udev 规则，否则也需要 root 权限。"},
    {"A device's ID is the USB port it is plugged into, as list prints it (1-1.2), in either "
     "mode; a device in storage mode is also named by its disk (sdb or /dev/sdb), one in "
     "vendor mode by serial:NUMBER.",
     "设备的 ID 是它所插入的 USB 端口（如 list 所列，例如 1-1.2），两种模式相同；存储模式的设备"
     "也可用其磁盘（sdb 或 /dev/sdb）指定，下载模式的设备也可用 serial:序列号 指定。"},
};

}  // namespace fwup
