// What Windows asks of a user for rights, and how it names a device.
#include "app/terminal/terminal_texts.h"

namespace fwup {

const SystemTexts kSystemTexts{
    {"No permission to open %s: run the command in a console opened as administrator.",
     "没有权限打开 %s：请在以管理员身份打开的控制台中运行此命令。"},
    {"No permission to send commands to %s: clear needs an administrator console (open the "
     "console with \"Run as administrator\").",
     "没有权限向 %s 发送命令：clear 需要管理员控制台（用“以管理员身份运行”打开控制台）。"},
    {"needs an administrator", "需要管理员权限"},
    {"clear, info and list read the device in storage mode, which Windows allows only in a "
     "console opened as administrator; update needs no administrator.",
     "clear、info 和 list 读取存储模式的设备，Windows 只允许在以管理员身份打开的控制台中这样做；"
     "update 不需要管理员权限。"},
    {"A device's ID is the hub port it is plugged into, as list prints it (hub2-port3, where "
     "Device Manager shows the location Port_#0003.Hub_#0002), in either mode; a device in "
     "storage mode is also named by its drive letter (E:), one in vendor mode by "
     "serial:NUMBER.",
     "设备的 ID 是它所插入的集线器端口（如 list 所列，例如 hub2-port3，即设备管理器中的位置 "
     "Port_#0003.Hub_#0002），两种模式相同；存储模式的设备也可用其驱动器号（E:）指定，下载模式的"
     "设备也可用 serial:序列号 指定。"},
};

}  // namespace fwup
