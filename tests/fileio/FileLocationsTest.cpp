// Where the program keeps its files: beside itself for a portable copy, the
// build folder and the tests; the user's folders for an installed program.

#include "fileio/FileLocations.h"

#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

namespace fs = std::filesystem;

class FileLocationsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    const fs::path program = dir.path();
    const UserFolders user{dir.path() / "config" / "Pelvaro", dir.path() / "data" / "Pelvaro"};
};

TEST_F(FileLocationsTest, WritableOrConfiguredProgramDirectoryKeepsEverythingBesideIt) {
    const FileLocations writable = locateFiles(program, user, true);
    EXPECT_TRUE(writable.besideProgram);
    EXPECT_EQ(writable.settingsFile, program / "Pelvaro.ini");
    EXPECT_EQ(writable.databaseDirectory, program);

    std::ofstream(program / "db_Personal.sqlite") << "";
    const FileLocations prepared = locateFiles(program, user, false);
    EXPECT_TRUE(prepared.besideProgram) << "a database beside a read-only program counts";
    EXPECT_EQ(prepared.databaseDirectory, program);
    fs::remove(program / "db_Personal.sqlite");

    std::ofstream(program / "Pelvaro.ini") << "[Serial]\nPort=3\n";
    const FileLocations configured = locateFiles(program, user, false);
    EXPECT_TRUE(configured.besideProgram) << "a settings file beside a read-only program counts";
    EXPECT_EQ(configured.settingsFile, program / "Pelvaro.ini");

    EXPECT_TRUE(locateFiles(program).besideProgram) << "the tests' own directory is a portable copy";
}

TEST_F(FileLocationsTest, InstalledProgramKeepsItsFilesInTheUsersFolders) {
    const FileLocations installed = locateFiles(program, user, false);
    EXPECT_FALSE(installed.besideProgram);
    EXPECT_EQ(installed.programDirectory, program);
    EXPECT_EQ(installed.settingsFile, user.settings / "Pelvaro.ini");
    EXPECT_EQ(installed.databaseDirectory, user.data);

    EXPECT_FALSE(fs::exists(user.settings)) << "nothing is made before it is used";
    ASSERT_TRUE(prepareFolders(installed));
    EXPECT_TRUE(fs::is_directory(user.settings));
    EXPECT_TRUE(fs::is_directory(user.data));

    EXPECT_TRUE(locateFiles(program, std::nullopt, false).besideProgram)
        << "without a home there is nowhere else";
}

} // namespace
} // namespace pelvaro
