// firmware-updater as a flashing station, over a simulated bench of several
// devices: listing, choosing, all at once, the whole story, --json, -v,
// Ctrl-C, another image, and the terminal's character set.
#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/terminal/record_file.h"
#include "linux/front_end_runner.h"
#include "platform/simulation/in_process_locks.h"
#include "platform/simulation/scenario.h"
#include "test_images.h"

namespace fwup::test {
namespace {

using Json = nlohmann::json;

// Three devices in storage mode, each behind the bench's ordinary volumes,
// answering at once.
Scenario Bench(std::uint32_t devices = 3, ScenarioFault fault = ScenarioFault::None) {
    Scenario scenario;
    scenario.devices = devices;
    scenario.faults = {DeviceFault{0, fault}};
    scenario.transferDelayMs = 0;
    scenario.sleepFor = [](std::uint32_t) {};
    return scenario;
}

Ran Station(Simulation& bench, std::vector<const char*> words, const Terminal& terminal = {},
            const std::atomic<bool>* interrupted = nullptr) {
    return RunFrontEndWith(std::move(words), bench, bench, terminal, EmbeddedFirmwareImage(),
                           false, interrupted);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Station, ListsEveryDeviceInEitherModeAndAsksOnlyTheVersion) {
    Simulation bench(Bench());
    Ran run = Station(bench, {"list"});
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_EQ(run.out, "ID     MODE     DETAILS\n"
                       "sim-1  storage  sim-disk-1  simulated removable volume  version 2.40\n"
                       "sim-2  storage  sim-disk-2  simulated removable volume  version 2.40\n"
                       "sim-3  storage  sim-disk-3  simulated removable volume  version 2.40\n");
    for (std::size_t i = 0; i < 3; ++i)
        for (const ScsiRequestRecord& request : bench.Device(i).ScsiLog())
            EXPECT_EQ(request.cdb[1], kVersionQueryCommand);

    // Once cleared and re-plugged, the second is in vendor mode.
    ASSERT_EQ(Station(bench, {"clear", "--device", "sim-disk-2", "--yes"}).code, ExitCode::Done);
    run = Station(bench, {"list"});
    EXPECT_TRUE(Contains(run.out, "sim-2  vendor   serial SIM1001\n")) << run.out;
    EXPECT_FALSE(Contains(run.out, "sim-disk-2")) << run.out;
}

TEST(Station, ChoosesTheNamedDeviceAndRefusesToGuessAmongSeveral) {
    Simulation bench(Bench());
    Ran run = Station(bench, {"clear", "--yes", "--json"});
    EXPECT_EQ(run.code, ExitCode::Usage);
    EXPECT_TRUE(Contains(run.err, "Several devices are attached")) << run.err;
    EXPECT_TRUE(Contains(run.err, "sim-3  storage  sim-disk-3")) << run.err;
    const Json document = Json::parse(run.out);
    EXPECT_EQ(document["exit_status"], 2);
    ASSERT_EQ(document["devices"].size(), 3u);
    EXPECT_EQ(document["devices"][2]["outcome"], "several-devices");

    run = Station(bench, {"clear", "--yes", "--device", "/dev/nothing"});
    EXPECT_EQ(run.code, ExitCode::NoDevice);

    // A named device: no other drive is asked anything, not even the version.
    std::vector<std::size_t> asked;
    for (std::size_t i = 0; i < 3; ++i) asked.push_back(bench.Device(i).ScsiLog().size());
    run = Station(bench, {"clear", "--yes", "--device", "sim-disk-3"});
    EXPECT_EQ(run.code, ExitCode::Done);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(bench.Device(i).EraseCount(), i == 2 ? 1u : 0u);
    EXPECT_EQ(bench.Device(0).ScsiLog().size(), asked[0]);
    EXPECT_EQ(bench.Device(1).ScsiLog().size(), asked[1]);
    EXPECT_GT(bench.Device(2).ScsiLog().size(), asked[2]);

    // The cleared device comes back in vendor mode; it is the only one there.
    run = Station(bench, {"update"});
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_TRUE(bench.Device(2).FirmwareComplete());
    run = Station(bench, {"update", "--device", "serial:SIM1002"});
    EXPECT_EQ(run.code, ExitCode::Done);
}

TEST(Station, AllAtOnceOneFailingChangesNoOther) {
    Simulation bench(Bench(3, ScenarioFault::None));
    ASSERT_EQ(Station(bench, {"clear", "--all", "--yes"}).code, ExitCode::Done);
    bench.Device(1).InjectFault(bench.Device(1).TransfersSoFar() + 26, TransferFault::RejectStatus);
    const Ran run = Station(bench, {"update", "--all", "--json"});
    EXPECT_EQ(run.code, ExitCode::DeviceFailed);
    EXPECT_TRUE(bench.Device(0).FirmwareComplete());
    EXPECT_FALSE(bench.Device(1).FirmwareComplete());
    EXPECT_TRUE(bench.Device(2).FirmwareComplete());
    // The failing device's transcript stops at the rejected reply.
    const std::vector<PipeTransfer>& traffic = bench.Device(1).Traffic();
    ASSERT_FALSE(traffic.empty());
    EXPECT_FALSE(traffic.back().isWrite);
    EXPECT_EQ(traffic.back().bytes, (Bytes{0x02, 0x01, 0x00, 0x00}));

    const Json document = Json::parse(run.out);
    EXPECT_EQ(document["schema"], 2);
    EXPECT_EQ(document["error"], nullptr);
    EXPECT_EQ(document["command"], "update");
    EXPECT_EQ(document["exit_status"], 1);
    EXPECT_EQ(document["image"]["checksum"], "0x5DC6");
    ASSERT_EQ(document["devices"].size(), 3u);
    for (const Json& device : document["devices"]) {
        const bool failing = device["id"] == "sim-2";
        EXPECT_EQ(device["mode"], "vendor");
        EXPECT_EQ(device["outcome"], failing ? "failed" : "updated");
        EXPECT_EQ(device["exit_status"], failing ? 1 : 0);
        EXPECT_EQ(device["bytes_total"], 45592);
        // Never more than the device accepted: five data commands before the rejection.
        EXPECT_EQ(device["bytes_sent"], failing ? 256 + 4 * 4096 : 45592);
        // Where it failed, and what the download said of it.
        EXPECT_EQ(device["step"], failing ? Json("data") : Json(nullptr));
        EXPECT_EQ(device["download_result"], failing ? "data-rejected" : "ok");
        EXPECT_EQ(device["link"], "ok");
    }
    EXPECT_TRUE(Contains(run.err, "sim-2: The update failed.")) << run.err;
}

TEST(Station, RunClearsWaitsForTheReplugAndUpdates) {
    Simulation one(Bench(1));
    Ran run = Station(one, {"run", "--yes"});
    EXPECT_EQ(run.code, ExitCode::Done) << run.err;
    EXPECT_TRUE(Contains(run.err, "Now unplug the device and plug it in again")) << run.err;
    EXPECT_TRUE(one.Device().FirmwareComplete());

    Simulation bench(Bench(3));
    run = Station(bench, {"run", "--all", "--yes", "--json"});
    EXPECT_EQ(run.code, ExitCode::Done) << run.err;
    for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(bench.Device(i).FirmwareComplete()) << i;
    EXPECT_EQ(Json::parse(run.out)["devices"].size(), 3u);

    // A device that never comes back: the wait ends at --wait, the device is
    // erased and nothing was downloaded.
    Simulation stuck(Bench(1));
    stuck.Device().comesBackAfterErase = false;
    run = Station(stuck, {"run", "--yes", "--wait", "1", "--json"});
    EXPECT_EQ(run.code, ExitCode::ErasedNotUpdated);
    EXPECT_EQ(static_cast<int>(run.code), 8);
    EXPECT_TRUE(Contains(run.err, "did not come up in vendor mode within 1 s")) << run.err;
    EXPECT_TRUE(Contains(run.err, "plug it in and run \"firmware-updater update\"")) << run.err;
    const Json device = Json::parse(run.out)["devices"][0];
    EXPECT_EQ(device["outcome"], "erased-not-updated");
    EXPECT_EQ(device["exit_status"], 8);
    EXPECT_EQ(device["step"], "replug");
    EXPECT_EQ(device["came_back"], false);
    EXPECT_EQ(device["version"], "2.40");  // as the clear read it
    for (const char* unproduced : {"download_result", "link", "bytes_sent", "bytes_total", "drive",
                                   "scsi_status", "sense"})
        EXPECT_EQ(device[unproduced], nullptr) << unproduced;
}

// A run that goes through keeps what each step said: the clear's reading, the
// return, and the update's download.
TEST(Station, RunReportsEveryStepItTook) {
    Simulation one(Bench(1));
    const Ran run = Station(one, {"run", "--yes", "--json"});
    ASSERT_EQ(run.code, ExitCode::Done) << run.err;
    const Json device = Json::parse(run.out)["devices"][0];
    EXPECT_EQ(device["outcome"], "updated");
    EXPECT_EQ(device["user_id"], "0xFFFFFFFF");
    EXPECT_EQ(device["came_back"], true);
    EXPECT_EQ(device["download_result"], "ok");
    EXPECT_EQ(device["link"], "ok");
    EXPECT_EQ(device["bytes_sent"], 45592);
    EXPECT_EQ(device["step"], nullptr);
    EXPECT_EQ(device["drive"], nullptr);  // no request failed
}

TEST(Station, EachDeviceKeepsItsPortThroughTheReplugAndFailsAlone) {
    // Four devices: the second rejects data, the fourth never comes back.
    Scenario scenario = Bench(4);
    scenario.faults = {{2, ScenarioFault::DataRejected}, {4, ScenarioFault::NeverReturns}};
    Simulation bench(scenario);
    Ran run = Station(bench, {"run", "--all", "--yes", "--wait", "1", "--json"});
    EXPECT_EQ(run.code, ExitCode::DeviceFailed);  // the first that failed, in the list's order
    const Json devices = Json::parse(run.out)["devices"];
    ASSERT_EQ(devices.size(), 4u);
    const char* outcomes[] = {"updated", "failed", "updated", "erased-not-updated"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(devices[i]["id"], "sim-" + std::to_string(i + 1));
        EXPECT_EQ(devices[i]["block_device"], "sim-disk-" + std::to_string(i + 1));
        EXPECT_EQ(devices[i]["outcome"], outcomes[i]) << i;
        EXPECT_EQ(devices[i]["user_id"], "0xFFFFFFFF");  // as the clear read it
    }
    EXPECT_TRUE(Contains(run.err, "sim-4: The device did not come up in vendor mode within 1 s"))
        << run.err;

    // One ID from storage mode through the re-plug to the update.
    Simulation three(Bench(3));
    run = Station(three, {"--device", "sim-2", "run", "-y"});
    EXPECT_EQ(run.code, ExitCode::Done) << run.err;
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(three.Device(i).FirmwareComplete(), i == 1);
}

// Another program works on the second device: it is left alone, said busy,
// and the others go on. Each lock is held through the re-plug and let go.
TEST(Station, ADeviceHeldElsewhereIsBusyAndSentNothing) {
    for (const char* command : {"clear", "run"}) {
        SCOPED_TRACE(command);
        Simulation bench(Bench(3));
        InProcessDeviceLocks locks;
        std::unique_ptr<DeviceLock> elsewhere = locks.TryLock("port:sim-2");
        const Ran run = RunFrontEndWith({command, "--all", "--yes", "--json"}, bench, bench, {},
                                        EmbeddedFirmwareImage(), false, nullptr, &locks);
        EXPECT_EQ(run.code, ExitCode::NoDevice) << run.err;
        const Json devices = Json::parse(run.out)["devices"];
        ASSERT_EQ(devices.size(), 3u);
        EXPECT_EQ(devices[1]["outcome"], "busy");
        EXPECT_EQ(devices[0]["outcome"], devices[2]["outcome"]);
        EXPECT_NE(devices[0]["outcome"], "busy");
        EXPECT_TRUE(Contains(run.err, "sim-2: The device is busy: another program is working on "
                                      "it. Nothing was sent."))
            << run.err;
        EXPECT_EQ(bench.Device(1).EraseCount(), 0u);
        EXPECT_EQ(bench.Device(0).EraseCount(), 1u);
        EXPECT_FALSE(locks.IsHeld("port:sim-1"));
        EXPECT_FALSE(locks.IsHeld("port:sim-3"));
    }
}

// run --all waits for several devices at once: one the system knows by
// neither port nor serial could be taken for another, so nothing starts.
TEST(Station, RunAllRefusesADeviceItCouldNotKnowAgain) {
    Simulation bench(Bench(2));
    bench.Device(0).usbId = "";
    const std::string serial = bench.Device(0).serial;
    bench.Device(0).serial = "";
    Ran run = Station(bench, {"run", "--all", "--yes", "--wait", "1"});
    EXPECT_EQ(run.code, ExitCode::Usage);
    EXPECT_TRUE(Contains(run.err, "neither its USB port nor its serial number")) << run.err;
    EXPECT_EQ(bench.Device(0).EraseCount() + bench.Device(1).EraseCount(), 0u);
    // Known by its serial alone, it is found again by it.
    bench.Device(0).serial = serial;
    run = Station(bench, {"run", "--all", "--yes", "--wait", "1"});
    EXPECT_EQ(run.code, ExitCode::Done) << run.err;
    EXPECT_TRUE(bench.Device(0).FirmwareComplete());
    EXPECT_TRUE(bench.Device(1).FirmwareComplete());
}

TEST(Station, NothingUsableOrAnUnknownIdIsSaidOnceWithoutASecondSearch) {
    Scenario scenario = Bench(2, ScenarioFault::NoDevice);
    Simulation none(scenario);
    Ran run = Station(none, {"clear", "--all", "--yes", "--json"});
    EXPECT_EQ(run.code, ExitCode::NoDevice);
    EXPECT_EQ(Json::parse(run.out)["devices"], Json::array());
    EXPECT_EQ(run.err, "No device found.\nNo device in storage mode answered. Plug the device in "
                       "and try again; if it has been cleared already, run \"firmware-updater "
                       "update\".\n");
    for (const ScsiRequestRecord& request : none.Device(0).ScsiLog())
        EXPECT_EQ(request.timeLimitSeconds, kProbeTimeLimitSeconds);

    Simulation bench(Bench(3));
    run = Station(bench, {"clear", "--yes", "--device", "sim-9"});
    EXPECT_EQ(run.code, ExitCode::NoDevice);
    EXPECT_EQ(run.err, "No device sim-9 is attached in the mode this command needs. Attached: "
                       "sim-1, sim-2, sim-3.\n");
}

TEST(Station, ListAlignsItsColumnsAndCountsTwoBeforeTen) {
    Simulation bench(Bench(11));
    const Ran run = Station(bench, {"list"});
    std::vector<std::string> ids;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        ids.push_back(line.substr(0, line.find(' ')));
        EXPECT_EQ(line.find(ids.size() == 1 ? "MODE" : "storage"), 8u) << line;
    }
    ASSERT_EQ(ids.size(), 12u);
    EXPECT_EQ(ids[2], "sim-2");
    EXPECT_EQ(ids[10], "sim-10");

    Terminal chinese;
    chinese.language = Language::Chinese;
    EXPECT_TRUE(Contains(Station(bench, {"list"}, chinese).out, "sim-10  存储模式  sim-disk-10"));
}

TEST(Station, CtrlCStopsBetweenCommandsAndTheNextUpdateSucceeds) {
    Scenario scenario = Bench(1);
    scenario.startInVendorMode = true;
    std::atomic<bool> interrupted{false};
    int transfers = 0;
    scenario.transferDelayMs = 1;
    scenario.sleepFor = [&](std::uint32_t) {
        if (++transfers == 20) interrupted = true;  // in the middle of the download
    };
    Simulation bench(scenario);
    Ran run = Station(bench, {"update"}, {}, &interrupted);
    EXPECT_EQ(run.code, ExitCode::Interrupted);
    EXPECT_TRUE(Contains(run.err, "interrupted\n")) << run.err;
    EXPECT_EQ(bench.Device().OpenHandleCount(), 0);
    EXPECT_EQ(bench.Device().ProtocolErrors(), 0u);

    interrupted = false;
    transfers = 1000;
    run = Station(bench, {"update"}, {}, &interrupted);
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_TRUE(bench.Device().FirmwareComplete());

    // Before the erase, nothing changes.
    Simulation storage(Bench(1));
    interrupted = true;
    run = Station(storage, {"clear", "--yes"}, {}, &interrupted);
    EXPECT_EQ(run.code, ExitCode::Interrupted);
    EXPECT_EQ(storage.Device().EraseCount(), 0u);
}

TEST(Station, AnImageThatFailsTheCheckIsRefusedBeforeAnyDevice) {
    Simulation bench(Bench(1));
    const std::string dir = testing::TempDir();
    const std::string empty = dir + "/no-data.bin";
    std::ofstream(empty, std::ios::binary).write(
        reinterpret_cast<const char*>(MakeImage({{0x1000, {}}}).data()), 21);
    Terminal chinese;
    chinese.language = Language::Chinese;
    struct Early {
        std::vector<const char*> words;
        Terminal terminal;
        const char* code;
        const char* says;  // part of the message
    };
    const Early cases[] = {
        {{"update", "--image", "/nonexistent/image.bin"}, {}, "image-unreadable", "Cannot read the image"},
        {{"update", "--image", empty.c_str()}, {}, "image-refused", "is refused"},
        {{"update", "--image", empty.c_str()}, chinese, "image-refused", "被拒绝"},
        {{"run", "--wait", "soon"}, {}, "usage", "--help"},
        {{"update", "--all", "--device", "sim-1"}, chinese, "usage", "--help"},
        {{"--all"}, {}, "usage", "No command given"},
    };
    for (const Early& early : cases) {
        std::vector<const char*> words = early.words;
        words.push_back("--json");
        const Ran run = Station(bench, words, early.terminal);
        EXPECT_EQ(run.code, ExitCode::Usage) << early.code;
        const Json document = Json::parse(run.out);
        EXPECT_EQ(document["exit_status"], 2);
        EXPECT_EQ(document["devices"], Json::array());
        EXPECT_EQ(document["error"]["code"], early.code);
        const std::string message = document["error"]["message"];
        EXPECT_TRUE(Contains(message, early.says)) << message;
        EXPECT_TRUE(Contains(run.err, message)) << run.err;  // what the person was told
    }
    EXPECT_TRUE(bench.Device().ScsiLog().empty());
    EXPECT_TRUE(bench.Device().Traffic().empty());

    // A good one goes out instead of the built-in image.
    const std::string small = dir + "/small.bin";
    const Bytes smallImage = SmallImage();
    std::ofstream(small, std::ios::binary)
        .write(reinterpret_cast<const char*>(smallImage.data()), static_cast<std::streamsize>(smallImage.size()));
    Simulation vendor(Bench(1));
    vendor.Device().mode = DeviceMode::VendorMode;
    const Ran run = Station(vendor, {"update", "--image", small.c_str(), "-vv"});
    EXPECT_EQ(run.code, ExitCode::Done);
    ASSERT_EQ(vendor.Device().HeldMemory().size(), 1u);
    EXPECT_EQ(vendor.Device().HeldMemory()[0].bytes, (Bytes{0x61, 0x62, 0x63}));
    // -v says each exchange; -vv dumps its bytes.
    EXPECT_TRUE(Contains(run.err, "sim-1: data 0x80002000, length 7: reply 02 00 00 00, accepted"))
        << run.err;
    EXPECT_TRUE(Contains(run.err, "  data   0000  61 62 63")) << run.err;
}

TEST(Station, VerboseTracesEachScsiCommandAndWhereAClearFailed) {
    Simulation bench(Bench(1));
    bench.Device().InjectStorageFault(kEraseCommand, StorageFault{ScsiFault::NoSignature});
    const Ran run = Station(bench, {"clear", "--yes", "-v", "--json"});
    EXPECT_EQ(run.code, ExitCode::DeviceFailed);
    // The device answers the version query, then fails the erase.
    EXPECT_TRUE(Contains(run.err, "sim-1: scsi 87 10 00 00 00 00 00 00 00 00: carried out, "
                                  "status 0x00, 4 bytes\n"))
        << run.err;
    EXPECT_TRUE(Contains(run.err, "sim-1: scsi 87 FF")) << run.err;
    EXPECT_TRUE(Contains(run.err, "sim-1: failed at erase, status 0x00\n")) << run.err;
    const Json device = Json::parse(run.out)["devices"][0];
    EXPECT_EQ(device["step"], "erase");
    EXPECT_EQ(device["drive"], "ok");  // carried out; the reply lacked the signature
    EXPECT_EQ(device["scsi_status"], "0x00");
    EXPECT_EQ(device["sense"], nullptr);
}

std::string InGb18030(const std::string& utf8) {
    iconv_t toGb = iconv_open("GB18030", "UTF-8");
    char gb[64] = {};
    char* in = const_cast<char*>(utf8.data());
    char* out = gb;
    std::size_t inLeft = utf8.size(), outLeft = sizeof gb;
    iconv(toGb, &in, &inLeft, &out, &outLeft);
    iconv_close(toGb);
    return std::string(gb, sizeof gb - outLeft);
}

TEST(Station, TextsInTheTerminalsCharacterSetAndEnglishInAscii) {
    Simulation english(Bench(1));
    Ran run = Station(english, {"clear", "--yes"});
    for (unsigned char byte : run.out + run.err) EXPECT_LT(byte, 0x80) << run.out << run.err;

    const Terminal gb18030{std::nullopt, true, Language::Chinese, 100, "GB18030"};
    Simulation chinese(Bench(1));
    run = Station(chinese, {"clear", "--yes"}, gb18030);
    EXPECT_TRUE(Contains(run.out, InGb18030("固件已清除。\n"))) << run.out;

    // The progress bar too, whose counts end in a Chinese word.
    Simulation replugged(Bench(1));
    ASSERT_EQ(Station(replugged, {"clear", "--yes"}).code, ExitCode::Done);
    run = Station(replugged, {"update"}, gb18030);
    EXPECT_TRUE(Contains(run.err, InGb18030("45592/45592 字节\x1b[K\n"))) << run.err;
    EXPECT_FALSE(Contains(run.err, "字节")) << run.err;
}

// "是" typed on a GB18030 terminal is Yes; its UTF-8 bytes read there as
// GB18030 are other characters, and no Yes.
TEST(Station, TheAnswerIsReadInTheTerminalsCharacterSet) {
    for (const auto& [typed, erases] : {std::pair{InGb18030("是\n"), 1u}, {"\xE6\x98\xAF\n", 0u}}) {
        const Terminal gb18030{typed, false, Language::Chinese, 100, "GB18030"};
        Simulation bench(Bench(1));
        Station(bench, {"clear"}, gb18030);
        EXPECT_EQ(bench.Device().EraseCount(), erases) << typed;
    }
}

// The bench that runs itself: three ports, two units each, one unit back at
// the wrong version and one whose erase is refused; each unit recorded once,
// its start before its end, and the events on standard output alone.
TEST(Station, ServesEachPortUnitAfterUnitAndRecordsEveryUnit) {
    Scenario scenario = Bench(3);
    scenario.units = 2;
    scenario.version = 0x0230;
    scenario.replugMs = 30;
    scenario.nextUnitMs = 10;
    scenario.faults = {DeviceFault{2, ScenarioFault::WrongVersion, 1},
                       DeviceFault{3, ScenarioFault::EraseRejected, 2}};
    Simulation bench(scenario);
    const std::filesystem::path record =
        std::filesystem::temp_directory_path() / ("fwup-bench-" + std::to_string(getpid()) + ".jsonl");
    std::filesystem::remove(record);
    const Ran run = RunFrontEndWith({"station", "--yes", "--units", "6", "--wait", "2", "--json",
                                     "--record", record.c_str()},
                                    bench, bench, {}, EmbeddedFirmwareImage(), false, nullptr,
                                    &bench.Locks());
    EXPECT_EQ(run.code, ExitCode::DeviceFailed);

    std::map<std::string, std::string> resultBySerial;
    Json last;
    std::istringstream events(run.out);
    for (std::string line; std::getline(events, line);) {
        last = Json::parse(line);  // nothing but JSON on standard output
        if (last["event"] == "summary") continue;
        EXPECT_TRUE(last.contains("port") && last.contains("serial")) << line;
        if (last["event"] == "result") resultBySerial[last["serial"]] = last["outcome"];
    }
    EXPECT_EQ(last, Json::parse(R"({"event":"summary","passed":4,"failed":2})"));
    const std::map<std::string, std::string> expected{
        {"SIM1-0001", "confirmed"}, {"SIM1-0002", "confirmed"},     {"SIM2-0001", "wrong-version"},
        {"SIM2-0002", "confirmed"}, {"SIM3-0001", "confirmed"},     {"SIM3-0002", "failed"}};
    EXPECT_EQ(resultBySerial, expected);

    const RecordContents recorded = ReadRecordFile(record.string(), nullptr);
    ASSERT_TRUE(recorded.opened);
    EXPECT_TRUE(recorded.cutLines.empty());
    std::map<std::string, std::string> recordedBySerial;
    for (const UnitRecord& unit : recorded.units) {
        recordedBySerial[unit.storageSerial] = UnitOutcomeName(unit.outcome);
        ASSERT_TRUE(unit.endMs.has_value());
        EXPECT_LE(unit.startMs, *unit.endMs);
        EXPECT_EQ(unit.image.version, std::optional<std::uint16_t>(0x0240));
    }
    EXPECT_EQ(recordedBySerial, expected);
    std::filesystem::remove(record);
}

}  // namespace
}  // namespace fwup::test
