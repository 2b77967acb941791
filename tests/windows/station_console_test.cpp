// The console program, firmware-updater-cli, against a bench of emulated
// devices in vendor mode: each is present through SetupAPI, at a hub port or
// by its serial number alone, and its pipes are served by a
// vendor-pipe-bridge of its own that runs this test (see CMakeLists.txt).
//
// usage: station_console_test --gtest_filter=Bench.X --program=EXE
//            --image=IMAGE --plug=SERIAL,LOCATION,REPORT [--plug=...]
// LOCATION is the device's location information ("Port_#0001.Hub_#0002"), or
// empty for a device the system places nowhere; REPORT the bridge's report.

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <functional>
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

// Reads a pipe to its end on a thread of its own, so that neither fills.
std::thread Drain(HANDLE pipe, std::string& into) {
    return std::thread([pipe, &into] {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) into.append(buffer, got);
        CloseHandle(pipe);
    });
}

// The program started with its output in pipes and no input; whileRunning
// runs meanwhile, given the process.
Ran RunProgram(const std::string& arguments, const std::function<void(HANDLE)>& whileRunning = {}) {
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
    std::thread out = Drain(outRead, ran.out), err = Drain(errRead, ran.err);
    if (started) {
        if (whileRunning) whileRunning(process.hProcess);
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &ran.status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    out.join();
    err.join();
    return ran;
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
    const Ran stopped = RunProgram("update", [&](HANDLE process) {
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
