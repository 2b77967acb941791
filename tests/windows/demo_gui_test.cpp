// The whole story end to end: the demonstration program, the real dialog over
// the simulated device, driven from outside in the user's language. Clear
// asks its question and erases, the device comes up in vendor mode, Update
// downloads the image into it; and each outcome the device can force.
//
// usage: firmware_updater_demo_test --language=ID
// Screenshots of the question box and of each outcome land in ARTIFACT_DIR.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog/dialog_logic.h"
#include "device_report.h"
#include "program_driver.h"

namespace fwup::test {
namespace {

int language = 1033;

bool Chinese() {
    return language == 2052;
}

struct Text {
    const wchar_t* english;
    const wchar_t* chinese;
    std::wstring operator()() const { return Chinese() ? chinese : english; }
};

const Text kQuestion{L"Then current version is V2.40, whether to update \uFF1F",
                     L"\u5F53\u524D\u7248\u672C\u4E3AV2.40, \u662F\u5426\u66F4\u65B0\uFF1F"};
const std::wstring kQuestionCaption = L"\u63D0\u793A";
const Text kCleared{L"Clear the original firmware successfully",
                    L"\u6E05\u9664\u539F\u56FA\u4EF6\u6210\u529F"};
const Text kClearFailed{L"Clear the original firmware failure",
                        L"\u6E05\u9664\u539F\u56FA\u4EF6\u5931\u8D25"};
const Text kWait{L"Update the firmware, Please wait...",
                 L"\u6B63\u5728\u66F4\u65B0\u56FA\u4EF6, \u8BF7\u7B49\u5019......"};
const Text kUpdated{L"Update the firmware successfully", L"\u66F4\u65B0\u56FA\u4EF6\u6210\u529F"};
const Text kUpdateFailed{L"Update the firmware failure", L"\u66F4\u65B0\u56FA\u4EF6\u5931\u8D25"};
const Text kUserIdRefused{
    L"UserID is not error, ID = 0x12345678, Can not update",
    L"\u7528\u6237ID\u4E0D\u7B26, ID = 0x12345678, \u4E0D\u80FD\u66F4\u65B0"};

std::string Shot(const std::string& name) {
    return std::string(ARTIFACT_DIR) + "/demo-" + (Chinese() ? "chinese-" : "english-") + name +
           ".bmp";
}

// The demonstration program with the device set up by its environment.
struct Demo {
    using Settings = std::vector<std::pair<const char*, const char*>>;
    explicit Demo(const Settings& settings = {}) {
        for (const char* name :
             {"FWUP_DEMO_VERSION", "FWUP_DEMO_USER_ID", "FWUP_DEMO_FAULT", "FWUP_DEMO_DELAY_MS"})
            SetEnvironmentVariableA(name, nullptr);
        SetEnvironmentVariableA("FWUP_DEMO_REPORT", REPORT_PATH);
        DeleteFileA(REPORT_PATH);
        for (const auto& [name, value] : settings) SetEnvironmentVariableA(name, value);
        program = std::make_unique<Program>(DEMO_PATH);
    }
    ~Demo() {
        if (program->Dialog() != nullptr) PostMessageW(program->Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
        program->ExitCode();
    }

    HWND Control(int id) const { return program->Control(id); }
    std::wstring Status() const { return StoredTextOf(Control(kStatusLineId)); }

    // Presses a button without waiting for it: a command blocks the dialog.
    void Press(int id) const { PostMessageW(Control(id), BM_CLICK, 0, 0); }

    // The texts the status line shows, from `from` (what it showed before the
    // press) until one of the finals.
    std::vector<std::wstring> WatchStatus(const std::vector<std::wstring>& finals,
                                          std::wstring from) const {
        return WatchText(Control(kStatusLineId), std::move(from), finals);
    }

    std::unique_ptr<Program> program;
};

// Clear, the question box answered as told; the box's text and caption.
struct Asked {
    std::wstring text;
    std::wstring caption;
};
Asked ClearAndAnswer(const Demo& demo, int answer, const std::string& shot = "") {
    demo.Press(kClearButtonId);
    Asked asked;
    HWND box = demo.program->OwnedBox();
    if (box == nullptr) return asked;
    asked.text = TextOf(GetDlgItem(box, 0xFFFF));
    asked.caption = TextOf(box);
    if (!shot.empty()) SaveScreenshot(box, Shot(shot));
    const std::wstring before = demo.Status();
    PostMessageW(GetDlgItem(box, answer), BM_CLICK, 0, 0);
    for (DWORD waited = 0; waited < kPatienceMs && IsWindow(box); waited += 20) Sleep(20);
    // After Yes the erase runs: its outcome is the next status text.
    if (answer == IDYES) demo.WatchStatus({kCleared(), kClearFailed()}, before);
    return asked;
}

TEST(Locale, IsTheOneThisRunNames) {
    EXPECT_EQ(GetUserDefaultLangID(), language);
}

TEST(Story, ClearAsksErasesThenUpdateDownloadsTheImageTwice) {
    // A slower device keeps the wait text up for seconds: a busy machine
    // that schedules this test late still sees it.
    Demo demo(Demo::Settings{{"FWUP_DEMO_DELAY_MS", "40"}});
    ASSERT_NE(demo.program->Dialog(), nullptr);
    const Asked asked = ClearAndAnswer(demo, IDYES, "question");
    EXPECT_EQ(asked.text, kQuestion());
    EXPECT_EQ(asked.caption, kQuestionCaption);
    EXPECT_EQ(demo.Status(), kCleared());
    SaveScreenshot(demo.program->Dialog(), Shot("cleared"));

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        DeleteFileA(REPORT_PATH);
        const std::wstring before = demo.Status();
        demo.Press(kUpdateButtonId);
        // The wait text is drawn while the download blocks the dialog.
        const std::vector<std::wstring> seen =
            demo.WatchStatus({kUpdated(), kUpdateFailed()}, before);
        EXPECT_EQ(seen, (std::vector<std::wstring>{kWait(), kUpdated()}));
        ExpectDeviceHoldsTheImage(FIRMWARE_IMAGE_PATH, REPORT_PATH);
    }
    SaveScreenshot(demo.program->Dialog(), Shot("updated"));
}

TEST(Story, DecliningTheQuestionLeavesTheStatusLineAsItWas) {
    Demo demo;
    ASSERT_NE(demo.program->Dialog(), nullptr);
    EXPECT_EQ(ClearAndAnswer(demo, IDNO).text, kQuestion());
    Sleep(200);
    EXPECT_EQ(demo.Status(), L"");
    // Not erased: the device is still no vendor-mode device.
    demo.Press(kUpdateButtonId);
    EXPECT_EQ(demo.WatchStatus({L"Open the driver failed", L"\u6253\u5F00\u9A71\u52A8\u5931\u8D25"}, L"")
                  .size(),
              1u);
}

TEST(Story, RejectedDataCommandFailsTheUpdate) {
    Demo demo(Demo::Settings{{"FWUP_DEMO_FAULT", "data-rejected"}});
    ASSERT_NE(demo.program->Dialog(), nullptr);
    ClearAndAnswer(demo, IDYES);
    const std::wstring before = demo.Status();
    demo.Press(kUpdateButtonId);
    EXPECT_EQ(demo.WatchStatus({kUpdated(), kUpdateFailed()}, before),
              (std::vector<std::wstring>{kWait(), kUpdateFailed()}));
    SaveScreenshot(demo.program->Dialog(), Shot("update-failed"));
}

TEST(Story, SilentDeviceFailsAfterTheTimeLimit) {
    Demo demo(Demo::Settings{{"FWUP_DEMO_FAULT", "stops-answering"}});
    ASSERT_NE(demo.program->Dialog(), nullptr);
    ClearAndAnswer(demo, IDYES);
    const auto start = std::chrono::steady_clock::now();
    const std::wstring before = demo.Status();
    demo.Press(kUpdateButtonId);
    EXPECT_EQ(demo.WatchStatus({kUpdated(), kUpdateFailed()}, before),
              (std::vector<std::wstring>{kWait(), kUpdateFailed()}));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 10.0);  // the 10 s time limit of the transfer that went unanswered
    EXPECT_LT(seconds, 15.0);
}

TEST(Story, ForeignUserIdIsRefused) {
    Demo demo(Demo::Settings{{"FWUP_DEMO_VERSION", "0238"}, {"FWUP_DEMO_USER_ID", "12345678"}});
    ASSERT_NE(demo.program->Dialog(), nullptr);
    demo.Press(kClearButtonId);
    EXPECT_EQ(demo.WatchStatus({kUserIdRefused()}, L""),
              std::vector<std::wstring>{kUserIdRefused()});
    SaveScreenshot(demo.program->Dialog(), Shot("user-id-refused"));
}

}  // namespace
}  // namespace fwup::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (const auto language = fwup::test::Options(argc, argv).Value("language"))
        fwup::test::language = std::stoi(*language);
    return RUN_ALL_TESTS();
}
