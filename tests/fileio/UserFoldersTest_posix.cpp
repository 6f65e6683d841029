// The user's folders on Linux, as the XDG variables name them, and the
// writable program directory of a portable copy.

#include "fileio/FileLocations.h"
#include "fileio/SessionStart.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
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

TEST(SessionStartTest, AutostartEntryInTheUsersConfigurationFolderComesAndGoes) {
    test::TempDir dir;
    Environment environment;
    environment.set("XDG_CONFIG_HOME", dir.path().c_str());
    const std::filesystem::path entry = dir.path() / "autostart" / "org.pelvaro.Pelvaro.desktop";
    // Quotes, '$', '%' and blanks survive the Exec line's quoting.
    const std::filesystem::path program = "/opt/Pelvaro 3/\"50%\" $HOME/pelvaro";
    EXPECT_EQ(sessionStartProgram(), std::nullopt);

    EXPECT_EQ(setSessionStart(program), std::nullopt);
    EXPECT_EQ(sessionStartProgram(), program);
    std::ifstream in(entry);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(text.find("Exec=\"/opt/Pelvaro 3/\\\"50%%\\\" \\$HOME/pelvaro\"\n"),
              std::string::npos)
        << text;
    if (std::filesystem::exists("/usr/bin/desktop-file-validate")) {
        test::ChildProcess validation({"/usr/bin/desktop-file-validate", entry.string()});
        EXPECT_EQ(validation.waitForExit(std::chrono::seconds(20)), 0)
            << validation.errorOutput();
    }

    EXPECT_EQ(setSessionStart(std::nullopt), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(setSessionStart(std::nullopt), std::nullopt) << "nothing to remove is no failure";

    environment.set("XDG_CONFIG_HOME", nullptr);
    environment.set("HOME", nullptr);
    EXPECT_TRUE(setSessionStart(program)) << "no home: the reason";
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
