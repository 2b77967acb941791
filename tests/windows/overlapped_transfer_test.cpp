// The time-limited transfers on real overlapped I/O. Message-mode named pipes
// stand in for the driver's pipes: each write is one message, as each USB
// transfer is one packet run, and the test holds the device's end.

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <vector>
#include <functional>
#include <string>
#include <vector>

#include "download/vendor_usb_device.h"
#include "platform/windows/win32_usb_link.h"
#include "vendor_device_presence.h"

namespace fwup::test {
namespace {

using Block = std::array<std::uint8_t, 4>;
constexpr Block kSentinel{0xAA, 0xAA, 0xAA, 0xAA};

// Counts what reaches the platform and lets a test act at the wait: finish
// the transfer before it, or make the wait report a result of its own.
class ObservedPlatform : public Win32UsbLink {
public:
    int waits = 0;
    std::function<void()> beforeWait;
    std::optional<std::uint32_t> waitResult;

protected:
    std::uint32_t WaitForTransfer(PlatformHandle pipe, std::uint32_t timeoutMs) override {
        ++waits;
        if (beforeWait) beforeWait();
        if (waitResult) return *waitResult;
        return Win32UsbLink::WaitForTransfer(pipe, timeoutMs);
    }
};

// The device's end is a plain blocking pipe; the program's end is opened by
// the platform as it opens the driver's pipes.
class Transfers : public testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        const std::string path = "\\\\.\\pipe\\fwup-transfer-" +
                                 std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(++serial);
        device_ = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                   4096, 4096, 0, nullptr);
        ASSERT_NE(device_, INVALID_HANDLE_VALUE);
        pipe_ = platform_.OpenPipe(path.c_str());
        ASSERT_NE(pipe_, kInvalidHandleValue);
        DWORD mode = PIPE_READMODE_MESSAGE;
        ASSERT_TRUE(SetNamedPipeHandleState(reinterpret_cast<HANDLE>(pipe_), &mode, nullptr,
                                            nullptr));
    }

    void TearDown() override {
        if (pipe_ != kInvalidHandleValue) CloseHandle(reinterpret_cast<HANDLE>(pipe_));
        if (device_ != INVALID_HANDLE_VALUE) CloseHandle(device_);
    }

    void DeviceSends(const std::string& message) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(device_, message.data(), static_cast<DWORD>(message.size()),
                              &written, nullptr));
    }

    std::string DeviceReceives() {
        char buffer[64] = {};
        DWORD read = 0;
        EXPECT_TRUE(ReadFile(device_, buffer, sizeof buffer, &read, nullptr));
        return std::string(buffer, read);
    }

    bool Read(Block& buffer, std::uint32_t& count, std::uint32_t timeoutMs = 2000) {
        const TransferResult result = platform_.PipeTransfer(Win32UsbLink::Direction::Read, pipe_,
                                                             buffer.data(), 4, timeoutMs);
        count = result.bytes;
        return result.Completed();
    }

    static std::string Text(const Block& block, std::size_t count = 4) {
        return std::string(block.begin(), block.begin() + count);
    }

    ObservedPlatform platform_;
    HANDLE device_ = INVALID_HANDLE_VALUE;
    PlatformHandle pipe_ = kInvalidHandleValue;
};

TEST_F(Transfers, ReplyAlreadyWaitingCompletesAtOnceWithoutAWait) {
    DeviceSends("\x02" "abc");
    Block buffer = kSentinel;
    std::uint32_t count = 99;
    EXPECT_TRUE(Read(buffer, count));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(Text(buffer), "\x02" "abc");
    EXPECT_EQ(platform_.waits, 0);
}

TEST_F(Transfers, PendingReadCompletesWhenTheReplyArrivesWithinTheLimit) {
    platform_.beforeWait = [&] { DeviceSends("wxyz"); };
    Block buffer = kSentinel;
    std::uint32_t count = 99;
    EXPECT_TRUE(Read(buffer, count));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(Text(buffer), "wxyz");
    EXPECT_EQ(platform_.waits, 1);
}

TEST_F(Transfers, ReplyThatArrivesAfterTheWaitButBeforeThePollCounts) {
    platform_.beforeWait = [&] {
        DeviceSends("late");
        Sleep(50);  // the transfer finishes while the wait is said to have timed out
    };
    platform_.waitResult = WAIT_TIMEOUT;
    Block buffer = kSentinel;
    std::uint32_t count = 99;
    EXPECT_TRUE(Read(buffer, count));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(Text(buffer), "late");
}

TEST_F(Transfers, ShortReplyIsASuccessWithItsOwnCount) {
    DeviceSends(std::string("\x02\x00", 2));
    Block buffer = kSentinel;
    std::uint32_t count = 99;
    EXPECT_TRUE(Read(buffer, count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(Text(buffer), std::string("\x02\x00\xAA\xAA", 4));  // the rest keeps what it held
}

// After the call has given up, the platform must no longer own the buffer: a
// reply that comes later neither lands in it nor is lost to the next read.
TEST_F(Transfers, GivenUpReadNeverOutlivesTheCall) {
    struct Case {
        const char* name;
        std::optional<std::uint32_t> waitResult;
    };
    const Case cases[] = {{"time limit", std::nullopt}, {"failed wait", WAIT_FAILED}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform_.waitResult = c.waitResult;
        Block buffer = kSentinel;
        std::uint32_t count = 99;
        const DWORD started = GetTickCount();
        EXPECT_FALSE(Read(buffer, count, 100));
        if (!c.waitResult) {
            EXPECT_GE(GetTickCount() - started, 90u);
        }
        EXPECT_EQ(count, 0u);

        DeviceSends("next");
        Sleep(50);
        EXPECT_EQ(buffer, kSentinel);

        platform_.waitResult.reset();
        Block next = kSentinel;
        EXPECT_TRUE(Read(next, count));
        EXPECT_EQ(Text(next), "next");
    }
}

TEST_F(Transfers, WriteCarriesOneMessage) {
    std::uint8_t header[6] = {0xEF, 0x01, 0x02, 0x01, 0x00, 0x20};
    const TransferResult result =
        platform_.PipeTransfer(Win32UsbLink::Direction::Write, pipe_, header, 6, 2000);
    EXPECT_TRUE(result.Completed());
    EXPECT_EQ(result.bytes, 6u);
    EXPECT_EQ(DeviceReceives(), std::string(reinterpret_cast<const char*>(header), 6));
}

// A write the device does not take within the limit is given up and
// cancelled: the next write is the next message the device receives.
TEST_F(Transfers, WriteNotTakenWithinTheLimitIsGivenUp) {
    std::vector<std::uint8_t> block(64 * 1024, 0x5A);  // more than the pipe holds
    const DWORD started = GetTickCount();
    const TransferResult given = platform_.PipeTransfer(
        Win32UsbLink::Direction::Write, pipe_, block.data(), static_cast<std::uint32_t>(block.size()), 100);
    EXPECT_EQ(given.status, LinkStatus::TimedOut);
    EXPECT_GE(GetTickCount() - started, 90u);
    EXPECT_EQ(platform_.waits, 1);
    EXPECT_EQ(given.bytes, 0u);

    std::uint8_t next[4] = {'n', 'e', 'x', 't'};
    EXPECT_TRUE(platform_.PipeTransfer(Win32UsbLink::Direction::Write, pipe_, next, 4, 2000).Completed());
    EXPECT_EQ(DeviceReceives(), "next");
}

TEST_F(Transfers, BrokenPipeFailsAtOnce) {
    CloseHandle(device_);
    device_ = INVALID_HANDLE_VALUE;
    Block buffer = kSentinel;
    std::uint32_t count = 99;
    EXPECT_FALSE(Read(buffer, count));
    EXPECT_EQ(platform_.waits, 0);
    EXPECT_EQ(buffer, kSentinel);
}

TEST_F(Transfers, APipeThatDidNotOpenFailsWithoutAWait) {
    Block buffer = kSentinel;
    for (Win32UsbLink::Direction direction :
         {Win32UsbLink::Direction::Read, Win32UsbLink::Direction::Write}) {
        const TransferResult result =
            platform_.PipeTransfer(direction, kInvalidHandleValue, buffer.data(), 4, 100);
        EXPECT_FALSE(result.Completed());
        EXPECT_EQ(result.bytes, 0u);
    }
    EXPECT_EQ(platform_.waits, 0);
    EXPECT_EQ(buffer, kSentinel);
}

// The search over SetupAPI finds the device while it is present and nothing
// once it is gone, whatever else the prefix lists.
TEST(DeviceSearch, FindsTheVendorDeviceOnlyWhileItIsPresent) {
    ASSERT_TRUE(UnplugVendorDevices());
    const std::string path = PlugVendorDevice("5F3A0100");
    ASSERT_FALSE(path.empty());
    Win32UsbLink link;
    LinkStatus status = LinkStatus::Failed;
    const std::vector<UsbDeviceInfo> found = link.FindDevices(&status);
    EXPECT_EQ(status, LinkStatus::Ok);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, path);
    EXPECT_EQ(found[0].id, "serial:5F3A0100");  // the system places it at no hub port
    EXPECT_EQ(found[0].serial, "5F3A0100");
    ASSERT_TRUE(UnplugVendorDevices());
    EXPECT_TRUE(link.FindDevices(&status).empty());
    EXPECT_EQ(status, LinkStatus::Ok);
    EXPECT_FALSE(OpenVendorUsbDevice(link).device);
}

}  // namespace
}  // namespace fwup::test
