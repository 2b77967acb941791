#include "app/linux/command_line.h"

#include <string_view>

namespace fwup {

namespace {

FrontEndCommand CommandNamed(std::string_view argument) {
    if (argument == "clear") return FrontEndCommand::Clear;
    if (argument == "update") return FrontEndCommand::Update;
    if (argument == "info") return FrontEndCommand::Info;
    return FrontEndCommand::None;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const FrontEndCommand named = CommandNamed(argument);
        if (argument == "--help" || argument == "-h") help = true;
        else if (argument == "--version") version = true;
        else if (argument == "--simulate") line.simulate = true;
        else if (argument == "--yes" || argument == "-y") line.assumeYes = true;
        else if (named != FrontEndCommand::None && line.command == FrontEndCommand::None)
            line.command = named;
        else if (line.unknown.empty())
            line.unknown = argument;  // an unknown word, or a second command
    }
    if (help) line.command = FrontEndCommand::Help;
    else if (version) line.command = FrontEndCommand::Version;
    return line;
}

Language LanguageFromEnvironment(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value == nullptr || *value == '\0') continue;
        return std::string_view(value).rfind("zh_CN", 0) == 0 ? Language::Chinese
                                                             : Language::English;
    }
    return Language::English;
}

}  // namespace fwup
