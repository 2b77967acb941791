// A DLL left next to the program, in a download folder, under the name of a
// DLL that Windows loads by name: the program never loads it, neither while
// it starts nor in Clear or Update.
//
// Under Wine, the lookups that the program's own DLLs make after start-up
// are delay loads, which Wine resolves on the search path of start-up: it
// ignores SetDefaultDllDirectories for them, as it ignores the load
// configuration's DependentLoadFlags. Its one lookup by name through
// LoadLibrary (its display driver) it makes before WinMain too. So the test
// makes the lookup itself, in the program's process, as a system DLL does:
// a thread started there loads dwmapi.dll by name. The test's environment
// makes Wine prefer a native dwmapi.dll found on the search path to its own
// (WINEDLLOVERRIDES dwmapi=n,b), as Windows takes the first it finds.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/dialog/dialog_logic.h"
#include "program_driver.h"

namespace fwup::test {
namespace {

const std::string kFolder = PLANT_FOLDER;
const wchar_t kPlantedName[] = L"dwmapi.dll";

// A fresh folder holding a copy of the program and the planted DLL.
void PlantNextToTheProgram() {
    CreateDirectoryA(kFolder.c_str(), nullptr);
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((kFolder + "/*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do DeleteFileA((kFolder + "/" + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    ASSERT_TRUE(CopyFileA(PROGRAM_PATH, (kFolder + "/firmware-updater.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(PLANTED_DLL_PATH, (kFolder + "/dwmapi.dll").c_str(), FALSE));
}

bool PlantedDllWasLoaded() {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((kFolder + "/*.loaded").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

// Has `process` load `name` by name, from a thread started in it; the
// thread's result: the low 32 bits of the module it got, 0 for none.
DWORD LoadByNameIn(HANDLE process, const wchar_t* name) {
    const SIZE_T bytes = (lstrlenW(name) + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr) return 0;
    DWORD result = 0;
    // The system DLLs lie at the same address in every process.
    const auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    if (WriteProcessMemory(process, remote, name, bytes, nullptr)) {
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, loadLibrary, remote, 0, nullptr);
        if (thread != nullptr) {
            if (WaitForSingleObject(thread, kPatienceMs) == WAIT_OBJECT_0) GetExitCodeThread(thread, &result);
            CloseHandle(thread);
        }
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return result;
}

// What makes the other test able to fail: a search that takes in the
// folder finds the planted DLL, and Wine loads it.
TEST(PlantedDll, IsLoadedByASearchThatTakesInItsFolder) {
    PlantNextToTheProgram();
    ASSERT_TRUE(SetDllDirectoryA(kFolder.c_str()));
    HMODULE module = LoadLibraryW(kPlantedName);
    SetDllDirectoryA(nullptr);
    ASSERT_NE(module, nullptr);
    FreeLibrary(module);
    EXPECT_TRUE(PlantedDllWasLoaded());
}

TEST(PlantedDll, IsNeverLoadedByTheProgram) {
    PlantNextToTheProgram();
    Program program(kFolder + "/firmware-updater.exe");
    ASSERT_NE(program.Dialog(), nullptr);
    EXPECT_NE(LoadByNameIn(program.Process(), kPlantedName), 0u) << "started";
    for (std::uint16_t button : {kClearButtonId, kUpdateButtonId}) {
        SendMessageW(program.Control(button), BM_CLICK, 0, 0);
        EXPECT_NE(TextOf(program.Control(kStatusLineId)), L"") << button;
    }
    EXPECT_NE(LoadByNameIn(program.Process(), kPlantedName), 0u) << "after Clear and Update";
    PostMessageW(program.Control(kCancelButtonId), BM_CLICK, 0, 0);
    EXPECT_EQ(program.ExitCode(), 2u);
    EXPECT_FALSE(PlantedDllWasLoaded());
}

}  // namespace
}  // namespace fwup::test
