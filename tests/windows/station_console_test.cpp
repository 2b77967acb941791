// The console program, firmware-updater-cli, against a bench of emulated
// devices in vendor mode: each is present through SetupAPI, at a hub port or
// by its serial number alone, and its pipes are served by a
// vendor-pipe-bridge of its own that runs this test (see CMakeLists.txt).
//
// usage: station_console_test --gtest_filter=Bench.X --program=EXE
//            --image=IMAGE --plug=SERIAL,LOCATION,REPORT [--plug=...]
// LOCATION is the device's location information ("Port_#0001.Hub_#0002"), or
// empty for a device the system places nowhere; REPORT the bridge's report.
// The SimulatedStation tests need no device: the program runs --simulate.

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device_report.h"
#include "vendor_device_presence.h"

namespace fwup::test {
namespace {

struct Plugged {
    std::string serial;
    std::string location;
    std::string report;
};

std::string program;
std::string imagePath;
std::vector<Plugged> bench;

// The device's place on its hub, as the USB hub driver records it.
bool SetLocation(const std::string& serial, const std::string& location) {
    const GUID interfaceClass = UsbDeviceInterfaceClass();
    HDEVINFO set = SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return false;
    bool done = false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const std::string instance = kVendorInstancePrefix + serial;
    for (DWORD index = 0; !done && SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        char id[512] = {};
        SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id - 1, nullptr);
        if (lstrcmpiA(id, instance.c_str()) != 0) continue;
        done = SetupDiSetDeviceRegistryPropertyA(
                   set, &device, SPDRP_LOCATION_INFORMATION,
                   reinterpret_cast<const BYTE*>(location.c_str()),
                   static_cast<DWORD>(location.size() + 1)) != FALSE;
    }
    SetupDiDestroyDeviceInfoList(set);
    return done;
}

class Bench : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(UnplugVendorDevices());
        for (const Plugged& device : bench) {
            ASSERT_FALSE(PlugVendorDevice(device.serial).empty()) << device.serial;
            if (!device.location.empty()) {
                ASSERT_TRUE(SetLocation(device.serial, device.location));
            }
        }
    }
    void TearDown() override { EXPECT_TRUE(UnplugVendorDevices()); }
};

// What one run of the program said and how it ended.
struct Ran {
    DWORD status = 259;
    std::string out;
    std::string err;
    nlohmann::json Json() const { return nlohmann::json::parse(out, nullptr, false); }
};

// What a running program has written to one stream so far.
class Written {
public:
    void Append(const char* bytes, DWORD size) {
        const std::lock_guard<std::mutex> hold(lock_);
        text_.append(bytes, size);
    }
    std::string Text() const {
        const std::lock_guard<std::mutex> hold(lock_);
        return text_;
    }

private:
    mutable std::mutex lock_;
    std::string text_;
};

// Reads a pipe to its end on a thread of its own, so that neither fills.
std::thread Drain(HANDLE pipe, Written& into) {
    return std::thread([pipe, &into] {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) into.Append(buffer, got);
        CloseHandle(pipe);
    });
}

// Waits up to ms for the stream to show what seen looks for.
bool AwaitWritten(const Written& stream, const std::function<bool(const std::string&)>& seen,
                  DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 20) {
        if (seen(stream.Text())) return true;
        Sleep(20);
    }
    return seen(stream.Text());
}

using WhileRunning = std::function<void(HANDLE process, const Written& out, const Written& err)>;

// The program started with its output in pipes and no input; whileRunning
// runs meanwhile, given the process and what it has written so far.
Ran RunProgram(const std::string& arguments, const WhileRunning& whileRunning = {}) {
    Ran ran;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE nothing = CreateFileA("NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    std::string line = "\"" + program + "\" " + arguments;
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process) != FALSE;
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    CloseHandle(nothing);
    Written out, err;
    std::thread outReader = Drain(outRead, out), errReader = Drain(errRead, err);
    if (started) {
        if (whileRunning) whileRunning(process.hProcess, out, err);
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &ran.status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    outReader.join();
    errReader.join();
    ran.out = out.Text();
    ran.err = err.Text();
    return ran;
}

using Json = nlohmann::json;

// Each whole line of the text read as JSON; a line that is not JSON is
// discarded (is_discarded()).
std::vector<Json> JsonLines(const std::string& text) {
    std::vector<Json> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(Json::parse(text.substr(at, end - at), nullptr, false));
    return lines;
}

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(utf8.size() - 1);
    return utf8;
}

// This test's own folder, with the system's separators.
std::wstring WorkFolder() {
    std::wstring folder;
    for (const char c : std::string(WORK_DIR)) folder.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// A units' record as read back: its start lines, its end lines, and how many
// lines are neither.
struct Units {
    std::vector<Json> starts;
    std::vector<Json> ends;
    int unreadable = 0;
};

Units RecordedUnits(const std::wstring& path) {
    std::string text;
    if (std::FILE* file = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, got);
        std::fclose(file);
    }
    Units units;
    for (const Json& line : JsonLines(text)) {
        const std::string kind = line.is_object() ? line.value("record", "") : "";
        if (kind == "start") units.starts.push_back(line);
        else if (kind == "end") units.ends.push_back(line);
        else ++units.unreadable;
    }
    return units;
}

// The bench --simulate meets: each port's units, one after another, each at
// version 2.30 until its download.
void DescribeSimulatedBench(int ports, int unitsEach, int transferMs) {
    SetEnvironmentVariableA("FWUP_DEMO_DEVICES", std::to_string(ports).c_str());
    SetEnvironmentVariableA("FWUP_DEMO_UNITS", std::to_string(unitsEach).c_str());
    SetEnvironmentVariableA("FWUP_DEMO_DELAY_MS", std::to_string(transferMs).c_str());
    SetEnvironmentVariableA("FWUP_DEMO_VERSION", "0230");
}

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The transfers a device has seen, from its bridge's counts.
int TransfersSeen(const Plugged& device) {
    int transfers = -1;
    if (std::FILE* counts = std::fopen((device.report + ".counts").c_str(), "r")) {
        if (std::fscanf(counts, "transfers %d", &transfers) != 1) transfers = -1;
        std::fclose(counts);
    }
    return transfers;
}

TEST_F(Bench, ListsEveryDeviceByItsPortOrItsSerial) {
    const Ran ran = RunProgram("list --json");
    EXPECT_EQ(ran.status, 0u) << ran.err;
    const nlohmann::json document = ran.Json();
    ASSERT_TRUE(document.is_object()) << ran.out;
    std::vector<std::string> ids;
    for (const nlohmann::json& device : document["devices"]) {
        EXPECT_EQ(device["mode"], "vendor");
        ids.push_back(device["id"]);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"hub2-port1", "hub2-port2", "serial:5F3A0023"}));
    for (const Plugged& device : bench) EXPECT_EQ(TransfersSeen(device), 0);
}

TEST_F(Bench, SeveralDevicesAreRefusedUntilOneIsNamedAndOnlyThatOneIsUpdated) {
    const Ran several = RunProgram("update");
    EXPECT_EQ(several.status, 2u);
    EXPECT_NE(several.err.find("hub2-port2"), std::string::npos) << several.err;
    for (const Plugged& device : bench) EXPECT_EQ(TransfersSeen(device), 0);

    const Ran named = RunProgram("update --device hub2-port2");
    EXPECT_EQ(named.status, 0u) << named.err;
    ExpectDeviceHoldsTheImage(imagePath.c_str(), bench[1].report.c_str());
    const Ran bySerial = RunProgram("update --device serial:5F3A0023");
    EXPECT_EQ(bySerial.status, 0u) << bySerial.err;
    ExpectDeviceHoldsTheImage(imagePath.c_str(), bench[2].report.c_str());
    EXPECT_EQ(TransfersSeen(bench[0]), 0);
}

// The bridges make the second device refuse the first data command.
TEST_F(Bench, EveryDeviceFinishesWhenOneRefusesAndTheStatusIsItsOwn) {
    const Ran ran = RunProgram("update --all --json");
    EXPECT_EQ(ran.status, 1u) << ran.err;
    const nlohmann::json document = ran.Json();
    ASSERT_TRUE(document.is_object()) << ran.out;
    ASSERT_EQ(document["devices"].size(), 3u);
    EXPECT_EQ(document["devices"][0]["outcome"], "updated");
    EXPECT_EQ(document["devices"][1]["outcome"], "failed");
    EXPECT_EQ(document["devices"][2]["outcome"], "updated");
    EXPECT_EQ(document["exit_status"], 1);
    ExpectDeviceHoldsTheImage(imagePath.c_str(), bench[0].report.c_str());
    ExpectDeviceHoldsTheImage(imagePath.c_str(), bench[2].report.c_str());
}

// Every device of the bench at once; the time it took, for the benchmark.
TEST_F(Bench, UpdatesEveryDeviceAtOnce) {
    const DWORD started = GetTickCount();
    const Ran ran = RunProgram("update --all");
    std::printf("update --all over %zu devices: %lu ms\n", bench.size(),
                static_cast<unsigned long>(GetTickCount() - started));
    EXPECT_EQ(ran.status, 0u) << ran.err;
    for (const Plugged& device : bench) ExpectDeviceHoldsTheImage(imagePath.c_str(), device.report.c_str());
}

// Ctrl-C reaches the program through the console the test shares with it.
TEST_F(Bench, CtrlCStopsTheDownloadAndTheNextUpdateCompletes) {
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    DWORD signalled = 0;
    const Ran stopped = RunProgram("update", [&](HANDLE process, const Written&, const Written&) {
        for (int waited = 0; waited < 30000 && TransfersSeen(bench[0]) < 4; waited += 20) Sleep(20);
        EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        // The test itself goes on; set once the program has started, or it
        // would inherit the same deafness.
        SetConsoleCtrlHandler(nullptr, TRUE);
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        signalled = GetTickCount();
        WaitForSingleObject(process, 10000);
        signalled = GetTickCount() - signalled;
    });
    EXPECT_EQ(stopped.status, 130u) << stopped.err;
    EXPECT_LT(signalled, 2000u);
    const Ran again = RunProgram("update");
    EXPECT_EQ(again.status, 0u) << again.err;
    ExpectDeviceHoldsTheImage(imagePath.c_str(), bench[0].report.c_str());
}

// The record where the program keeps it unless told, below a folder whose
// name code page 1252 cannot say; standard output holds only JSON lines.
TEST(SimulatedStation, RecordsEveryUnitInTheUsersLocalFolderAndWritesOnlyJsonLines) {
    const std::wstring local = WorkFolder() + L"\\测试";
    const std::wstring record = local + L"\\firmware-updater\\simulated-units.jsonl";
    DeleteFileW(record.c_str());
    ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", local.c_str()));
    DescribeSimulatedBench(2, 2, 0);
    const Ran ran = RunProgram("--simulate station --yes --units 4 --json");
    EXPECT_EQ(ran.status, 0u) << ran.err;
    EXPECT_TRUE(Holds(ran.err, Utf8(record))) << ran.err;
    EXPECT_FALSE(Holds(ran.out, "\r"));
    ASSERT_FALSE(ran.out.empty());
    EXPECT_EQ(ran.out.back(), '\n');
    const std::vector<Json> events = JsonLines(ran.out);
    for (const Json& event : events) EXPECT_TRUE(event.is_object()) << ran.out;
    EXPECT_EQ(events.back(), (Json{{"event", "summary"}, {"passed", 4}, {"failed", 0}}));

    const Units units = RecordedUnits(record);
    EXPECT_EQ(units.starts.size(), 4u);
    EXPECT_EQ(units.unreadable, 0);
    std::map<std::string, int> endsOnPort;
    for (const Json& end : units.ends) {
        EXPECT_EQ(end["outcome"], "confirmed") << end;
        ++endsOnPort[end.value("port", "")];
    }
    EXPECT_EQ(endsOnPort, (std::map<std::string, int>{{"sim-1", 2}, {"sim-2", 2}}));

    // history --simulate reads the same file back from the same place.
    const Ran history = RunProgram("--simulate history --json");
    EXPECT_EQ(history.status, 0u) << history.err;
    const Json document = history.Json();
    ASSERT_TRUE(document.is_object()) << history.out;
    EXPECT_EQ(document["record"], Utf8(record));
    EXPECT_EQ(document["units"].size(), 4u);
    EXPECT_EQ(document["summary"]["passed"], 4);
}

BOOL WINAPI HeardAndIgnored(DWORD) {
    return TRUE;
}

// Ctrl-C through the console the test shares with the program, pressed
// while units download: once, the units in flight finish and no other is
// taken; twice, they are interrupted. Each unit started has its end line.
TEST(SimulatedStation, FirstCtrlCDrainsTheBenchAndTheSecondInterruptsIt) {
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    // The test itself goes on. A handler of its own, not the flag that
    // ignores Ctrl-C: the programs it starts would inherit the flag.
    SetConsoleCtrlHandler(HeardAndIgnored, TRUE);
    DescribeSimulatedBench(2, 3, 10);
    struct Case {
        int presses;
        DWORD status;
    };
    for (const Case& test : {Case{1, 0}, Case{2, 130}}) {
        const std::wstring record = WorkFolder() + L"\\ctrl-c-" + std::to_wstring(test.presses) + L".jsonl";
        DeleteFileW(record.c_str());
        bool stoppingSaid = false;
        const Ran ran = RunProgram(
            "--simulate station --yes --units 6 --json --record \"" + Utf8(record) + "\"",
            [&](HANDLE process, const Written& out, const Written& err) {
                const auto downloading = [](const std::string& text) {
                    return Holds(text, R"("step":"download")");
                };
                if (!AwaitWritten(out, downloading, 30000)) return;
                GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
                const auto stopping = [](const std::string& text) { return Holds(text, "Stopping: "); };
                stoppingSaid = AwaitWritten(err, stopping, 5000);
                if (test.presses == 2) GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
                WaitForSingleObject(process, 20000);
            });
        SCOPED_TRACE(test.presses);
        EXPECT_TRUE(stoppingSaid) << ran.err;
        EXPECT_EQ(ran.status, test.status) << ran.err;
        const Units units = RecordedUnits(record);
        EXPECT_GE(units.starts.size(), 1u);
        EXPECT_LE(units.starts.size(), 2u);
        EXPECT_EQ(units.ends.size(), units.starts.size());
        for (const Json& end : units.ends)
            EXPECT_EQ(end["outcome"] == "confirmed", test.presses == 1) << end;
    }
}

// No storage mode exists here: a unit downloaded waits in vain to come back
// as a disk, and one that leaves the bus and comes back in vendor mode runs
// no firmware. The second device is unplugged and plugged in again.
TEST_F(Bench, StationDownloadsEachUnitAndSaysWhyNoneIsConfirmed) {
    const std::wstring record = WorkFolder() + L"\\bench-station.jsonl";
    DeleteFileW(record.c_str());
    const std::string secondPort = "hub7-port2";
    const Ran ran = RunProgram(
        "station --yes --units 2 --wait 3 --json --record \"" + Utf8(record) + "\"",
        [&](HANDLE, const Written& out, const Written&) {
            const auto awaitingReturn = [&](const std::string& text) {
                for (const Json& event : JsonLines(text))
                    if (event.is_object() && event.value("step", "") == "replug-to-confirm" &&
                        event.value("port", "") == secondPort)
                        return true;
                return false;
            };
            if (!AwaitWritten(out, awaitingReturn, 60000)) return;
            // Off the bus for two looks at the port (500 ms apart), then back.
            EXPECT_TRUE(UnplugVendorDevices(bench[1].serial));
            Sleep(1100);
            EXPECT_FALSE(PlugVendorDevice(bench[1].serial).empty());
            EXPECT_TRUE(SetLocation(bench[1].serial, bench[1].location));
        });
    EXPECT_EQ(ran.status, 1u) << ran.err;
    for (const Plugged& device : bench) ExpectDeviceHoldsTheImage(imagePath.c_str(), device.report.c_str());
    const std::vector<Json> events = JsonLines(ran.out);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), (Json{{"event", "summary"}, {"passed", 0}, {"failed", 2}}));

    const Units units = RecordedUnits(record);
    EXPECT_EQ(units.starts.size(), 2u);
    std::map<std::string, std::string> outcomeOnPort;
    for (const Json& end : units.ends) {
        EXPECT_EQ(end["failed_step"], "replug-to-confirm") << end;
        outcomeOnPort[end.value("port", "")] = end.value("outcome", "");
    }
    EXPECT_EQ(outcomeOnPort, (std::map<std::string, std::string>{
                                 {"hub7-port1", "written-not-confirmed"}, {secondPort, "did-not-start"}}));
}

}  // namespace
}  // namespace fwup::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    using fwup::test::bench;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&](const char* name) {
            return argument.rfind(name, 0) == 0 ? argument.substr(std::strlen(name)) : std::string();
        };
        if (!value("--program=").empty()) fwup::test::program = value("--program=");
        if (!value("--image=").empty()) fwup::test::imagePath = value("--image=");
        const std::string plug = value("--plug=");
        if (plug.empty()) continue;
        const std::size_t first = plug.find(','), second = plug.find(',', first + 1);
        bench.push_back({plug.substr(0, first), plug.substr(first + 1, second - first - 1),
                         plug.substr(second + 1)});
    }
    return RUN_ALL_TESTS();
}
