// Where the program keeps its files: beside itself for a portable copy, the
// build folder and the tests; the user's folders for an installed program.

#include "FileLocations.h"

#include "TempDir.h"

#include <cstdlib>
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

    std::ofstream(program / "Pelvaro.ini") << "[Serial]\nPort=3\n";
    const FileLocations configured = locateFiles(program, user, false);
    EXPECT_TRUE(configured.besideProgram) << "a settings file beside a read-only program counts";
    EXPECT_EQ(configured.settingsFile, program / "Pelvaro.ini");

    EXPECT_TRUE(locateFiles(program).besideProgram) << "the tests' own directory is writable";
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

// Sets or clears environment variables for the test's length.
class Environment {
public:
    void set(const char* name, const char* value) {
        saved_.emplace_back(name, std::getenv(name) ? std::optional<std::string>(std::getenv(name))
                                                    : std::nullopt);
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~Environment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->second ? ::setenv(it->first.c_str(), it->second->c_str(), 1)
                       : ::unsetenv(it->first.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(UserFoldersTest, XdgFoldersWithTheirDefaults) {
    Environment environment;
    environment.set("HOME", "/home/anna");
    environment.set("XDG_CONFIG_HOME", nullptr);
    environment.set("XDG_DATA_HOME", nullptr);
    auto folders = userFoldersFromEnvironment();
    ASSERT_TRUE(folders);
    EXPECT_EQ(folders->settings, "/home/anna/.config/Pelvaro");
    EXPECT_EQ(folders->data, "/home/anna/.local/share/Pelvaro");

    environment.set("XDG_CONFIG_HOME", "/srv/conf");
    environment.set("XDG_DATA_HOME", "relative/data"); // not absolute: ignored
    folders = userFoldersFromEnvironment();
    ASSERT_TRUE(folders);
    EXPECT_EQ(folders->settings, "/srv/conf/Pelvaro");
    EXPECT_EQ(folders->data, "/home/anna/.local/share/Pelvaro");

    environment.set("HOME", nullptr);
    EXPECT_FALSE(userFoldersFromEnvironment()) << "no home for the data folder";
}

} // namespace
} // namespace pelvaro
