// The user's folders on Linux, as the XDG variables name them, and the
// writable program directory of a portable copy.

#include "fileio/FileLocations.h"

#include "tests/support/TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelvaro {
namespace {

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
    auto folders = userFolders();
    ASSERT_TRUE(folders);
    EXPECT_EQ(folders->settings, "/home/anna/.config/Pelvaro");
    EXPECT_EQ(folders->data, "/home/anna/.local/share/Pelvaro");

    environment.set("XDG_CONFIG_HOME", "/srv/conf");
    environment.set("XDG_DATA_HOME", "relative/data"); // not absolute: ignored
    folders = userFolders();
    ASSERT_TRUE(folders);
    EXPECT_EQ(folders->settings, "/srv/conf/Pelvaro");
    EXPECT_EQ(folders->data, "/home/anna/.local/share/Pelvaro");

    environment.set("HOME", nullptr);
    EXPECT_FALSE(userFolders()) << "no home for the data folder";
}


TEST(PortableCopyTest, AReadOnlyProgramDirectoryIsAnInstalledProgram) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write anywhere";
    test::TempDir dir;
    EXPECT_TRUE(isPortableCopy(dir.path()));
    ::chmod(dir.path().c_str(), 0555);
    EXPECT_FALSE(isPortableCopy(dir.path()));
}

} // namespace
} // namespace pelvaro
