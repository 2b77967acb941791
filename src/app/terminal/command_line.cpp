#include "app/terminal/command_line.h"

#include <CLI/CLI.hpp>

#include <sstream>
#include <string_view>

#include "app/terminal/outcome_table.h"

namespace fwup {
namespace {

constexpr TerminalText kAbout{
    "Replaces the firmware of USB storage devices: clear (storage mode), re-plug, update "
    "(vendor mode).",
    "更换 USB 存储设备的固件：clear（存储模式）、重新插拔、update（下载模式）。"};
constexpr TerminalText kListHelp{"list every attached device of this model, in either mode",
                                 "列出所有已连接的此型号设备（任一模式）"};
constexpr TerminalText kInfoHelp{"show a device and the image that would be sent",
                                 "显示设备及将要发送的固件映像"};
constexpr TerminalText kClearHelp{"erase the firmware of a device in storage mode",
                                  "清除存储模式设备的固件"};
constexpr TerminalText kUpdateHelp{"download the image into a device in vendor mode",
                                   "将固件映像写入下载模式的设备"};
constexpr TerminalText kRunHelp{"clear, wait for the re-plug, then update",
                                "清除，等待重新插拔，然后更新"};
constexpr TerminalText kDeviceHelp{"the device to work on, as list prints it",
                                   "要操作的设备（list 所列的 ID）"};
constexpr TerminalText kAllHelp{"every device found, in parallel", "所有找到的设备，并行"};
constexpr TerminalText kYesHelp{"answer the question of clear with Yes", "对 clear 的提问回答“是”"};
constexpr TerminalText kWaitHelp{"seconds run waits for the device to come back (120)",
                                 "run 等待设备重新出现的秒数（120）"};
constexpr TerminalText kImageHelp{"this image file instead of the built-in one",
                                  "使用此映像文件代替内置固件"};
constexpr TerminalText kJsonHelp{"one JSON document on standard output",
                                 "在标准输出上输出一个 JSON 文档"};
constexpr TerminalText kVerboseHelp{"each command exchange on standard error; -vv adds hex dumps",
                                    "在标准错误上显示每次命令交换；-vv 附加十六进制转储"};
constexpr TerminalText kSimulateHelp{"simulated devices instead of the hardware",
                                     "使用模拟设备代替硬件"};
constexpr TerminalText kHelpHelp{"show this text", "显示本说明"};
constexpr TerminalText kVersionHelp{"show the version and the image it carries",
                                    "显示版本及所带固件映像"};
constexpr TerminalText kUnknownArgument{"Unknown command or option: ", "未知的命令或选项："};
constexpr TerminalText kNeedsYes{"clear and run with --all ask no question: add --yes",
                                 "带 --all 的 clear 和 run 不会提问：请加 --yes"};
constexpr TerminalText kDeviceOrAll{"--device and --all exclude each other",
                                    "--device 与 --all 不能同时使用"};

constexpr TerminalText kUsage{"Usage: firmware-updater [OPTIONS] COMMAND [OPTIONS]",
                              "用法：firmware-updater [选项] 命令 [选项]"};
constexpr TerminalText kCommandsHeading{"Commands:", "命令："};
constexpr TerminalText kOptionsHeading{"Options:", "选项："};
constexpr TerminalText kRootNote{
    "clear, info and list read the device in storage mode, which needs root (the vendor "
    "commands need CAP_SYS_RAWIO); update needs root unless the udev rule is installed.",
    "clear、info 和 list 读取存储模式的设备，需要 root 权限（厂商命令需要 CAP_SYS_RAWIO）；"
    "update 除非已安装 udev 规则，否则也需要 root 权限。"};

// The commands, what each is for, and the options each takes.
struct Command {
    const char* name;
    const TerminalText* help;
    FrontEndCommand command;
    bool device, all, yes, wait, image;
};
constexpr Command kCommands[] = {
    {"list", &kListHelp, FrontEndCommand::List, false, false, false, false, false},
    {"info", &kInfoHelp, FrontEndCommand::Info, true, false, false, false, true},
    {"clear", &kClearHelp, FrontEndCommand::Clear, true, true, true, false, false},
    {"update", &kUpdateHelp, FrontEndCommand::Update, true, true, false, false, true},
    {"run", &kRunHelp, FrontEndCommand::Run, true, true, true, true, true},
};

// The help, written out: every command and every option, short forms too.
// The parser is given no texts of its own: this is the one help there is.
std::string HelpText(Language language) {
    struct Entry {
        const char* name;
        const TerminalText* text;
    };
    const Entry options[] = {
        {"--device ID", &kDeviceHelp},  {"--all", &kAllHelp},         {"-y, --yes", &kYesHelp},
        {"--wait SECONDS", &kWaitHelp}, {"--image FILE", &kImageHelp}, {"--json", &kJsonHelp},
        {"-v, --verbose", &kVerboseHelp}, {"--simulate", &kSimulateHelp},
        {"-h, --help", &kHelpHelp},     {"-V, --version", &kVersionHelp}};
    std::string help = std::string(Say(kAbout, language)) + "\n" + Say(kUsage, language) + "\n\n" +
                       Say(kCommandsHeading, language) + "\n";
    auto add = [&](const Entry& entry) {
        std::string name = std::string("  ") + entry.name;
        name.resize(20, ' ');
        help += name + Say(*entry.text, language) + "\n";
    };
    for (const Command& command : kCommands) add(Entry{command.name, command.help});
    help += std::string("\n") + Say(kOptionsHeading, language) + "\n";
    for (const Entry& entry : options) add(entry);
    help += std::string("\n") + Say(kRootNote, language) + "\n" + ExitStatusSentence(language);
    return help;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv, Language language) {
    CommandLine line;
    CLI::App app;
    app.set_help_flag("-h,--help");
    bool version = false;
    app.add_flag("-V,--version", version);
    app.add_flag("--json", line.json);
    app.add_flag("-v,--verbose", line.verbosity);
    app.add_flag("--simulate", line.simulate);
    app.fallthrough();
    app.require_subcommand(0, 1);

    for (const Command& command : kCommands) {
        CLI::App* sub = app.add_subcommand(command.name);
        sub->set_help_flag("-h,--help");
        sub->fallthrough();
        if (command.device) sub->add_option("--device", line.device);
        if (command.all) sub->add_flag("--all", line.all);
        if (command.yes) sub->add_flag("-y,--yes", line.assumeYes);
        if (command.wait) sub->add_option("--wait", line.waitSeconds)->check(CLI::Range(1, 86400));
        if (command.image) sub->add_option("--image", line.image);
        const FrontEndCommand chosen = command.command;
        sub->callback([&line, chosen] { line.command = chosen; });
    }
    line.help = HelpText(language);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        line.command = FrontEndCommand::Help;
        return line;
    } catch (const CLI::ExtrasError& error) {
        const std::string what = error.what();
        const std::size_t colon = what.find(": ");
        line.usageError = std::string(Say(kUnknownArgument, language)) +
                          (colon == std::string::npos ? what : what.substr(colon + 2));
    } catch (const CLI::ParseError& error) {
        // The library says what else it found wrong, in its own words.
        line.usageError = error.what();
    }
    if (version) {
        line.command = FrontEndCommand::Version;
        return line;
    }
    if (!line.usageError.empty()) return line;
    if (line.all && !line.device.empty()) line.usageError = Say(kDeviceOrAll, language);
    else if (line.all && !line.assumeYes &&
             (line.command == FrontEndCommand::Clear || line.command == FrontEndCommand::Run))
        line.usageError = Say(kNeedsYes, language);
    return line;
}

Language LanguageFromEnvironment(const char* lcAll, const char* lcMessages, const char* lang,
                                 const char* language) {
    std::string_view locale;
    for (const char* value : {lcAll, lcMessages, lang})
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    if (locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0)
        return Language::English;
    if (language != nullptr) {
        std::string_view list = language;
        while (!list.empty()) {
            const std::size_t colon = list.find(':');
            const std::string_view entry = list.substr(0, colon);
            list = colon == std::string_view::npos ? std::string_view{} : list.substr(colon + 1);
            if (entry == "zh_CN" || entry.rfind("zh_CN.", 0) == 0 || entry == "zh")
                return Language::Chinese;
            if (entry == "en" || entry.rfind("en_", 0) == 0) return Language::English;
        }
    }
    return locale.rfind("zh_CN", 0) == 0 ? Language::Chinese : Language::English;
}

}  // namespace fwup
