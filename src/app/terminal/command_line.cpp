#include "app/terminal/command_line.h"

#include <CLI/CLI.hpp>

#include <string_view>
#include <vector>

#include "app/terminal/text_format.h"

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
constexpr TerminalText kStationHelp{
    "serve every port until stopped: each unit arriving is read, cleared, updated and "
    "confirmed, and recorded",
    "持续服务每个端口直到停止：每个插入的设备都被读取、清除、更新、确认并记录"};
constexpr TerminalText kHistoryHelp{"the units the station recorded, newest first, with a summary",
                                    "工作站记录的设备，最新的在前，附汇总"};
constexpr TerminalText kDeviceHelp{"the device to work on, as list prints it (station, history: "
                                   "may be repeated)",
                                   "要操作的设备（list 所列的 ID；station、history 可重复）"};
constexpr TerminalText kImageVersionHelp{"the version of the --image file, e.g. 2.40",
                                         "--image 文件的版本，例如 2.40"};
constexpr TerminalText kConfirmHelp{"run: re-plug after the update, and check the version",
                                    "run：更新后重新插拔，并核对版本"};
constexpr TerminalText kUnitsHelp{"station: stop after N units have ended",
                                  "station：N 台设备结束后停止"};
constexpr TerminalText kRecordHelp{"the units' record file instead of the default one",
                                   "使用此设备记录文件代替默认文件"};
constexpr TerminalText kSinceHelp{"history: the units started then or later (2026-12-09, "
                                  "2026-12-09T08:00, 8h, 30m)",
                                  "history：在此时间或之后开始的设备（2026-12-09、"
                                  "2026-12-09T08:00、8h、30m）"};
constexpr TerminalText kAllHelp{"every device found, in parallel", "所有找到的设备，并行"};
constexpr TerminalText kYesHelp{"answer the question of clear with Yes", "对 clear 的提问回答“是”"};
constexpr TerminalText kWaitHelp{"seconds run and station wait for each re-plug (120)",
                                 "run 和 station 每次等待重新插拔的秒数（120）"};
constexpr TerminalText kImageHelp{"this image file instead of the built-in one",
                                  "使用此映像文件代替内置固件"};
constexpr TerminalText kJsonHelp{"one JSON document on standard output (station: one event "
                                 "a line)",
                                 "在标准输出上输出一个 JSON 文档（station：每行一个事件）"};
constexpr TerminalText kVerboseHelp{"each command exchange on standard error; -vv adds hex dumps",
                                    "在标准错误上显示每次命令交换；-vv 附加十六进制转储"};
constexpr TerminalText kSimulateHelp{"simulated devices instead of the hardware",
                                     "使用模拟设备代替硬件"};
constexpr TerminalText kHelpHelp{"show this text", "显示本说明"};
constexpr TerminalText kVersionHelp{"show the version and the image it carries",
                                    "显示版本及所带固件映像"};
constexpr TerminalText kUnknownArgument{"Unknown command or option: %s", "未知的命令或选项：%s"};
constexpr TerminalText kOneCommand{"One command at a time: %s", "一次只能执行一个命令：%s"};
constexpr TerminalText kNeedsValue{"%s needs a value", "%s 需要一个值"};
constexpr TerminalText kGivenTwice{"%s is given more than once", "%s 给出了不止一次"};
constexpr TerminalText kBadWait{"--wait %s: give a number of seconds from 1 to 86400",
                                "--wait %s：请给出 1 到 86400 之间的秒数"};
constexpr TerminalText kNotUnderstood{"The command line is not understood: %s",
                                      "无法理解命令行：%s"};
constexpr TerminalText kNoEffect{"Note: %s has no effect on %s.", "注意：%s 对 %s 不起作用。"};
constexpr TerminalText kNeedsYes{"clear and run with --all ask no question: add --yes",
                                 "带 --all 的 clear 和 run 不会提问：请加 --yes"};
constexpr TerminalText kStationNeedsYes{
    "station erases every unit that arrives without asking: add --yes",
    "station 会不经询问清除每台插入的设备：请加 --yes"};
constexpr TerminalText kBadUnits{"--units %s: give a number of units from 1 to 1000000",
                                 "--units %s：请给出 1 到 1000000 之间的设备数"};
constexpr TerminalText kBadImageVersion{"--image-version %s: give a version such as 2.40",
                                        "--image-version %s：请给出形如 2.40 的版本"};
constexpr TerminalText kVersionWithoutImage{"--image-version belongs to --image FILE",
                                            "--image-version 须与 --image FILE 一起使用"};
constexpr TerminalText kDeviceOrAll{"--device and --all exclude each other",
                                    "--device 与 --all 不能同时使用"};

constexpr TerminalText kUsage{
    "Usage: " FWUP_PROGRAM_NAME " COMMAND [OPTIONS]  (options may also come first)",
    "用法：" FWUP_PROGRAM_NAME " 命令 [选项]（选项也可放在命令之前）"};
constexpr TerminalText kCommandsHeading{"Commands:", "命令："};
constexpr TerminalText kOptionsHeading{"Options:", "选项："};

// The commands, what each is for, and the options each takes.
struct Command {
    const char* name;
    const TerminalText* help;
    FrontEndCommand command;
    bool device, all, yes, wait, image, confirm, units, record, since;
    bool severalDevices;  // --device may be given more than once
};
constexpr Command kCommands[] = {
    {"list", &kListHelp, FrontEndCommand::List,
     false, false, false, false, false, false, false, false, false, false},
    {"info", &kInfoHelp, FrontEndCommand::Info,
     true, false, false, false, true, false, false, false, false, false},
    {"clear", &kClearHelp, FrontEndCommand::Clear,
     true, true, true, false, false, false, false, false, false, false},
    {"update", &kUpdateHelp, FrontEndCommand::Update,
     true, true, false, false, true, false, false, false, false, false},
    {"run", &kRunHelp, FrontEndCommand::Run,
     true, true, true, true, true, true, false, false, false, false},
    {"station", &kStationHelp, FrontEndCommand::Station,
     true, false, true, true, true, false, true, true, false, true},
    {"history", &kHistoryHelp, FrontEndCommand::History,
     true, false, false, false, false, false, false, true, true, true},
};

// The help, written out: every command and every option, short forms too,
// in 79 columns. The parser is given no texts of its own: this is the one
// help there is.
std::string HelpText(Language language) {
    struct Entry {
        const char* name;
        const TerminalText* text;
    };
    const Entry options[] = {
        {"--device ID", &kDeviceHelp},  {"--all", &kAllHelp},         {"-y, --yes", &kYesHelp},
        {"--wait SECONDS", &kWaitHelp}, {"--image FILE", &kImageHelp},
        {"--image-version X.YY", &kImageVersionHelp}, {"--confirm", &kConfirmHelp},
        {"--units N", &kUnitsHelp}, {"--record FILE", &kRecordHelp}, {"--since WHEN", &kSinceHelp},
        {"--json", &kJsonHelp},
        {"-v, --verbose", &kVerboseHelp}, {"--simulate", &kSimulateHelp},
        {"-h, --help", &kHelpHelp},     {"-V, --version", &kVersionHelp}};
    constexpr int kColumns = 79;
    constexpr int kTextColumn = 24;
    std::string help = WrapText(Say(kAbout, language), kColumns) + "\n" + Say(kUsage, language) +
                       "\n\n" + Say(kCommandsHeading, language) + "\n";
    auto add = [&](const Entry& entry) {
        std::string name = std::string("  ") + entry.name;
        name.resize(kTextColumn, ' ');
        help += WrapText(name + Say(*entry.text, language), kColumns, kTextColumn) + "\n";
    };
    for (const Command& command : kCommands) add(Entry{command.name, command.help});
    help += std::string("\n") + Say(kOptionsHeading, language) + "\n";
    for (const Entry& entry : options) add(entry);
    help += "\n" + WrapText(Say(kSystemTexts.idNote, language), kColumns) + "\n" +
            WrapText(Say(kSystemTexts.rightsNote, language), kColumns) + "\n" +
            WrapText(ExitStatusSentence(language), kColumns);
    return help;
}

// The options that only some commands take, and which take each.
struct CommandOption {
    const char* name;
    bool Command::*taken;
};
constexpr CommandOption kCommandOptions[] = {{"--device", &Command::device},
                                             {"--all", &Command::all},
                                             {"--yes", &Command::yes},
                                             {"--wait", &Command::wait},
                                             {"--image", &Command::image},
                                             {"--image-version", &Command::image},
                                             {"--confirm", &Command::confirm},
                                             {"--units", &Command::units},
                                             {"--record", &Command::record},
                                             {"--since", &Command::since}};

const Command* CommandNamed(FrontEndCommand chosen) {
    for (const Command& command : kCommands)
        if (command.command == chosen) return &command;
    return nullptr;
}

bool IsCommandName(const std::string& word) {
    for (const Command& command : kCommands)
        if (word == command.name) return true;
    return false;
}

// An option the command does not take is noted, and its value left unused.
void DropOptionsNotTaken(const CLI::App& app, const Command& command, CommandLine& line,
                         Language language) {
    const CommandLine defaults;
    for (const CommandOption& option : kCommandOptions) {
        if (command.*option.taken || app.get_option(option.name)->count() == 0) continue;
        line.notes.push_back(Format(Say(kNoEffect, language), option.name, command.name));
        if (option.taken == &Command::device) {
            line.device = defaults.device;
            line.devices = defaults.devices;
        }
        if (option.taken == &Command::all) line.all = defaults.all;
        if (option.taken == &Command::yes) line.assumeYes = defaults.assumeYes;
        if (option.taken == &Command::image) {
            line.image = defaults.image;
            line.imageVersion = defaults.imageVersion;
        }
        if (option.taken == &Command::confirm) line.confirm = defaults.confirm;
        if (option.taken == &Command::units) line.units = defaults.units;
        if (option.taken == &Command::record) line.record = defaults.record;
        if (option.taken == &Command::since) line.since = defaults.since;
    }
}

// A whole number from 1 to most, as typed: digits only.
bool ReadCount(const std::string& text, int most, int& count) {
    if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    count = std::stoi(text);
    return count >= 1 && count <= most;
}

bool Given(const CLI::App& app, const char* option) {
    return app.get_option(option)->count() > 0;
}

// The words no command or option took, in the order they were typed.
std::vector<std::string> Leftovers(const CLI::App& app) {
    std::vector<std::string> words = app.remaining();
    for (const CLI::App* sub : app.get_subcommands())
        for (const std::string& word : sub->remaining()) words.push_back(word);
    return words;
}

// What is wrong with the words the parser has taken; empty when nothing is.
struct TypedValues {
    std::string wait, units, imageVersion;
};

std::string CheckParsed(const CLI::App& app, const TypedValues& typed, CommandLine& line,
                        Language language) {
    const std::vector<std::string> leftovers = Leftovers(app);
    if (!leftovers.empty()) {
        std::string words;
        for (const std::string& word : leftovers) words += (words.empty() ? "" : " ") + word;
        const bool second = line.command != FrontEndCommand::None && IsCommandName(leftovers.front());
        return Format(Say(second ? kOneCommand : kUnknownArgument, language), words.c_str());
    }
    const Command* command = CommandNamed(line.command);
    if (!line.devices.empty()) line.device = line.devices.front();
    if (line.devices.size() > 1 && (command == nullptr || !command->severalDevices))
        return Format(Say(kGivenTwice, language), "--device");
    if (command != nullptr) DropOptionsNotTaken(app, *command, line, language);
    if (command != nullptr && command->wait && Given(app, "--wait") &&
        !ReadCount(typed.wait, 86400, line.waitSeconds))
        return Format(Say(kBadWait, language), typed.wait.c_str());
    if (command != nullptr && command->units && Given(app, "--units") &&
        !ReadCount(typed.units, 1000000, line.units))
        return Format(Say(kBadUnits, language), typed.units.c_str());
    if (command != nullptr && command->image && Given(app, "--image-version")) {
        line.imageVersion = ReadVersionText(typed.imageVersion);
        if (!line.imageVersion) return Format(Say(kBadImageVersion, language), typed.imageVersion.c_str());
        if (line.image.empty()) return Say(kVersionWithoutImage, language);
    }
    if (line.all && !line.device.empty()) return Say(kDeviceOrAll, language);
    if (line.all && !line.assumeYes &&
        (line.command == FrontEndCommand::Clear || line.command == FrontEndCommand::Run))
        return Say(kNeedsYes, language);
    if (line.command == FrontEndCommand::Station && !line.assumeYes)
        return Say(kStationNeedsYes, language);
    return {};
}

}  // namespace

const char* CommandWord(FrontEndCommand command) {
    const Command* named = CommandNamed(command);
    return named == nullptr ? nullptr : named->name;
}

// Every option may stand before or after the command; one the command does
// not take is noted, not refused.
CommandLine ParseCommandLine(int argc, const char* const* argv, Language language) {
    CommandLine line;
    CLI::App app;
    app.set_help_flag("-h,--help");
    app.allow_extras();
    bool version = false;
    TypedValues typed;
    app.add_flag("-V,--version", version);
    app.add_flag("--json", line.json);
    app.add_flag("-v,--verbose", line.verbosity);
    app.add_flag("--simulate", line.simulate);
    app.add_option("--device", line.devices)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--all", line.all);
    app.add_flag("-y,--yes", line.assumeYes);
    app.add_option("--wait", typed.wait);
    app.add_option("--image", line.image);
    app.add_option("--image-version", typed.imageVersion);
    app.add_flag("--confirm", line.confirm);
    app.add_option("--units", typed.units);
    app.add_option("--record", line.record);
    app.add_option("--since", line.since);
    app.require_subcommand(0, 1);
    for (const Command& command : kCommands) {
        CLI::App* sub = app.add_subcommand(command.name);
        sub->set_help_flag();
        sub->fallthrough();
        const FrontEndCommand chosen = command.command;
        sub->callback([&line, chosen] { line.command = chosen; });
    }
    line.help = HelpText(language);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        line.command = FrontEndCommand::Help;
        return line;
    } catch (const CLI::ArgumentMismatch& error) {
        // Its message starts with the option's name, and says a value is
        // missing or there are too many.
        const std::string what = error.what();
        const bool missing = what.find("missing") != std::string::npos;
        line.usageError = Format(Say(missing ? kNeedsValue : kGivenTwice, language),
                                 what.substr(0, what.find(':')).c_str());
    } catch (const CLI::ParseError& error) {
        line.usageError = Format(Say(kNotUnderstood, language), error.what());
    }
    if (version) {
        line.command = FrontEndCommand::Version;
        return line;
    }
    if (line.usageError.empty()) line.usageError = CheckParsed(app, typed, line, language);
    return line;
}

std::optional<std::uint16_t> ReadVersionText(const std::string& text) {
    const std::size_t dot = text.find('.');
    auto hex = [](const std::string& digits) {
        return !digits.empty() && digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    };
    if (dot == std::string::npos || dot == 0 || dot > 2 || text.size() != dot + 3) return std::nullopt;
    const std::string major = text.substr(0, dot);
    const std::string minor = text.substr(dot + 1);
    if (!hex(major) || !hex(minor)) return std::nullopt;
    return static_cast<std::uint16_t>(std::stoul(major, nullptr, 16) << 8 | std::stoul(minor, nullptr, 16));
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

Language LanguageFromLangId(std::uint16_t langId) {
    constexpr std::uint16_t kChinesePrc = 2052;
    return langId == kChinesePrc ? Language::Chinese : Language::English;
}

}  // namespace fwup
