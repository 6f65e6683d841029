// On Windows the installer, not a write probe, tells an installed copy from a
// portable one: administrators (and wine) may write to Program Files.

#include "fileio/FileLocations.h"
#include "fileio/SessionStart.h"

#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

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

TEST(SessionStartTest, RunEntryOfTheUserComesAndGoes) {
    const std::filesystem::path program = L"C:\\Program Files\\Pelvaro 3\\pelvaro.exe";
    ASSERT_EQ(setSessionStart(std::nullopt), std::nullopt) << "nothing to remove is no failure";
    EXPECT_EQ(sessionStartProgram(), std::nullopt);
    EXPECT_EQ(setSessionStart(program), std::nullopt);
    EXPECT_EQ(sessionStartProgram(), program);
    EXPECT_EQ(setSessionStart(std::nullopt), std::nullopt);
    EXPECT_EQ(sessionStartProgram(), std::nullopt);
}

} // namespace
} // namespace pelvaro
