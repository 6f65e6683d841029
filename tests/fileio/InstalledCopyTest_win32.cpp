// On Windows the installer, not a write probe, tells an installed copy from a
// portable one: administrators (and wine) may write to Program Files.

#include "fileio/FileLocations.h"
#include "fileio/SessionStart.h"
#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <windows.h>

namespace pelvaro {
namespace {

TEST(InstalledCopyTest, TheInstallersMarkerSendsTheFilesToTheRoamingFolder) {
    test::TempDir dir;
    EXPECT_TRUE(isPortableCopy(dir.path())) << "a writable folder without the marker";
    EXPECT_TRUE(locateFiles(dir.path()).besideProgram);

    std::ofstream(dir.path() / kInstalledMarkerFile) << "installed\n";
    EXPECT_FALSE(isPortableCopy(dir.path())) << "writable, yet installed";
    const FileLocations installed = locateFiles(dir.path());
    ASSERT_FALSE(installed.besideProgram);
    EXPECT_EQ(installed.settingsFile.parent_path().filename(), "Pelvaro");
    EXPECT_EQ(installed.settingsFile.parent_path().parent_path().filename(), "Roaming");
    EXPECT_EQ(installed.databaseDirectory, installed.settingsFile.parent_path());

    std::ofstream(dir.path() / "Pelvaro.ini") << "[Serial]\nPort=3\n";
    EXPECT_TRUE(locateFiles(dir.path()).besideProgram) << "a settings file beside it still counts";
}

// The command the Run value holds, as Windows reads it at login.
std::wstring runCommand() {
    wchar_t command[1024] = {};
    DWORD size = sizeof command;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                     L"Pelvaro", RRF_RT_REG_SZ, nullptr, command, &size) != ERROR_SUCCESS)
        return {};
    return command;
}

TEST(SessionStartTest, RunEntryOfTheUserComesAndGoes) {
    // As Qt names the program: with forward slashes.
    const std::filesystem::path program = L"C:/Program Files/Pelvaro 3/pelvaro.exe";
    ASSERT_EQ(setSessionStart(std::nullopt), std::nullopt) << "nothing to remove is no failure";
    EXPECT_EQ(sessionStartProgram(), std::nullopt);
    EXPECT_EQ(setSessionStart(program), std::nullopt);
    EXPECT_EQ(runCommand(), L"\"C:\\Program Files\\Pelvaro 3\\pelvaro.exe\"");
    EXPECT_EQ(sessionStartProgram().value_or("").wstring(),
              L"C:\\Program Files\\Pelvaro 3\\pelvaro.exe");
    EXPECT_EQ(setSessionStart(std::nullopt), std::nullopt);
    EXPECT_EQ(sessionStartProgram(), std::nullopt);
}

} // namespace
} // namespace pelvaro
