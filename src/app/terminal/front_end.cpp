#include "app/terminal/front_end.h"

#include "app/terminal/bench.h"
#include "app/terminal/history.h"
#include "app/terminal/image_loading.h"
#include "app/terminal/station.h"
#include "app/terminal/text_format.h"

#ifndef FWUP_VERSION
#define FWUP_VERSION "unknown"
#endif

namespace fwup {
namespace {

// The simulated bench's settings that were not understood, one a line.
std::string SettingProblemsText(const std::vector<std::string>& problems, Language language) {
    std::string text;
    for (const std::string& problem : problems) {
        if (!text.empty()) text.append("\n");
        text.append(Format(Say(kSettingNotUnderstood, language), problem.c_str()));
    }
    return text;
}

}  // namespace

TerminalOutput OutputOf(const FrontEnd& frontEnd, bool json) {
    return TerminalOutput(frontEnd.out, frontEnd.err, json, frontEnd.codeset, frontEnd.encode,
                          frontEnd.writeConsole);
}

ExitCode RunFrontEnd(FrontEnd& frontEnd) {
    const Language language = frontEnd.language;
    const CommandLine& line = frontEnd.commandLine;
    TerminalOutput plain = OutputOf(frontEnd, false);
    if (line.command == FrontEndCommand::Help) {
        plain.Result(line.help);
        return ExitCode::Done;
    }
    // The image is described once, here, and every command reads that.
    LoadedImage loaded;
    const bool fromFile = !line.image.empty() && line.usageError.empty();
    if (fromFile) {
        // A refused image is wrong usage, and no image goes into the document.
        LoadImageFile(line.image, language, loaded);
        if (!loaded.refusal.empty())
            return ReportUsage(frontEnd, DescribeImage(FirmwareImage{}),
                               {loaded.unreadable ? EarlyFailure::ImageUnreadable
                                                  : EarlyFailure::ImageRefused,
                                loaded.refusal});
        loaded.image.version = line.imageVersion;
    } else {
        loaded.image = DescribeImage(frontEnd.image);
#ifdef FWUP_FIRMWARE_VERSION
        loaded.image.version = FWUP_FIRMWARE_VERSION;
#endif
    }
    const ImageDescription& image = loaded.image;
    if (line.command == FrontEndCommand::Version) {
        plain.Result(std::string(FWUP_PROGRAM_NAME " ") + FWUP_VERSION);
        plain.Result(ImageLine(image, language));
        return ExitCode::Done;
    }
    if (!line.usageError.empty())
        return ReportUsage(frontEnd, image, {EarlyFailure::Usage,
                                             Format(Say(kUsageError, language), line.usageError.c_str())});
    if (!frontEnd.settingProblems.empty())
        return ReportUsage(frontEnd, image, {EarlyFailure::BadEnvironment,
                                             SettingProblemsText(frontEnd.settingProblems, language)});
    if (line.command == FrontEndCommand::None)
        return ReportUsage(frontEnd, image, {EarlyFailure::Usage, Say(kNoCommand, language)});
    // history reads the record alone: no image, no device.
    if (line.command == FrontEndCommand::History) {
        for (const std::string& note : line.notes) plain.Message(note);
        return RunHistory(frontEnd);
    }
    // An image the download could not send whole never reaches a device: the
    // built-in one is checked by the build, and again here.
    const bool changesDevices = line.command == FrontEndCommand::Clear ||
                                line.command == FrontEndCommand::Update ||
                                line.command == FrontEndCommand::Run ||
                                line.command == FrontEndCommand::Station;
    if (changesDevices && image.problem != ImageProblem::None)
        return ReportUsage(frontEnd, image, {EarlyFailure::ImageRefused,
                                             Format(Say(kBuiltInImageRefused, language),
                                                    DescribeImageProblem(image).c_str())});
    for (const std::string& note : line.notes) plain.Message(note);
    // Ctrl-C also calls back a transfer the device leaves waiting.
    frontEnd.usb.StopWhen(frontEnd.interrupted);
    if (line.command == FrontEndCommand::Station) return RunBench(frontEnd, image);
    return RunStation(frontEnd, image);
}

}  // namespace fwup
