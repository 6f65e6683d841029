// The user's folders on Linux, as the XDG variables name them, and the
// writable program directory of a portable copy.

#include "fileio/FileLocations.h"
#include "fileio/SessionStart.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileText.h"
#include "tests/support/Polling.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
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

// The autostart entry in a configuration folder of the test's own.
class SessionStartTest : public ::testing::Test {
protected:
    SessionStartTest() { environment.set("XDG_CONFIG_HOME", dir.path().c_str()); }

    // Passes desktop-file-validate, where it is installed.
    void expectValidEntry() const {
        if (!std::filesystem::exists("/usr/bin/desktop-file-validate"))
            return;
        test::ChildProcess validation({"/usr/bin/desktop-file-validate", entry.string()});
        EXPECT_EQ(validation.waitForExit(std::chrono::seconds(20)), 0)
            << validation.errorOutput() << test::fileText(entry);
    }

    test::TempDir dir;
    Environment environment;
    const std::filesystem::path entry = dir.path() / "autostart" / "org.pelvaro.Pelvaro.desktop";
};

TEST_F(SessionStartTest, AutostartEntryInTheUsersConfigurationFolderComesAndGoes) {
    // Quotes, '$', '%' and blanks survive the Exec quoting, and its
    // backslashes the string escapes of the file; with a '%' the shell
    // starts the program, since desktops look for it before reading "%%".
    const std::filesystem::path program = "/opt/Pelvaro 3/\"50%\" $HOME/pelvaro";
    EXPECT_EQ(sessionStartProgram(), std::nullopt);

    EXPECT_EQ(setSessionStart(program), std::nullopt);
    EXPECT_EQ(sessionStartProgram(), program);
    EXPECT_NE(test::fileText(entry).find("\nExec=/bin/sh -c \"exec \\\\\"\\\\$0\\\\\"\" "
                                         "\"/opt/Pelvaro 3/\\\\\"50%%\\\\\" \\\\$HOME/pelvaro\"\n"),
              std::string::npos)
        << test::fileText(entry);
    expectValidEntry();

    EXPECT_EQ(setSessionStart(std::nullopt), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(setSessionStart(std::nullopt), std::nullopt) << "nothing to remove is no failure";

    environment.set("XDG_CONFIG_HOME", nullptr);
    environment.set("HOME", nullptr);
    EXPECT_TRUE(setSessionStart(program)) << "no home: the reason";
}

TEST_F(SessionStartTest, HostileProgramPathsAreQuotedOrRefused) {
    for (const std::filesystem::path program :
         {"/opt/a b/`id` $(id) ${HOME}/pelvaro", "/opt/back\\slash\\/pelvaro",
          "/opt/\\s\\n \\\"%%u %f\\%/pelvaro", "/opt/Büro \"\\\"/pelvaro"}) {
        SCOPED_TRACE(program.string());
        EXPECT_EQ(setSessionStart(program), std::nullopt);
        EXPECT_EQ(sessionStartProgram(), program);
        expectValidEntry();
    }

    const std::string written = test::fileText(entry);
    // A line end would add a key of its own, an invalid byte make GLib skip the entry.
    for (const std::string program : {"/opt/x\nExec=sh -c 'touch /tmp/owned' #/pelvaro",
                                      "/opt/x\r/pelvaro", "/opt/tab\t/pelvaro", "/opt/\x7f/pelvaro",
                                      "/opt/\xc2\x85/pelvaro", "/opt/\xff/pelvaro"}) {
        const auto refusal = setSessionStart(std::filesystem::path(program));
        ASSERT_TRUE(refusal) << program;
        EXPECT_NE(refusal->find("Steuerzeichen"), std::string::npos) << *refusal;
    }
    EXPECT_EQ(test::fileText(entry), written) << "a refused path leaves the entry as it was";
}

TEST_F(SessionStartTest, TheDesktopStartsTheProgramOfTheEntry) {
    if (!std::filesystem::exists("/usr/bin/gio"))
        GTEST_SKIP() << "no gio (libglib2.0-bin)";
    for (const std::string name : {"Pel varo $HOME `id` \"q\" \\s", "Pel varo 50% %f $HOME"}) {
        const std::filesystem::path folder = dir.path() / name;
        std::filesystem::create_directories(folder);
        const std::filesystem::path program = folder / "start.sh";
        std::ofstream(program) << "#!/bin/sh\nprintf '%s' \"$0\" > \"$(dirname \"$0\")/started\"\n";
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        ASSERT_EQ(setSessionStart(program), std::nullopt);

        test::ChildProcess launch({"/usr/bin/gio", "launch", entry.string()});
        EXPECT_EQ(launch.waitForExit(test::kPatience), 0) << launch.errorOutput();
        EXPECT_TRUE(test::waitFor([&] { return std::filesystem::exists(folder / "started"); }))
            << "the program did not start: " << test::fileText(entry);
        EXPECT_EQ(test::fileText(folder / "started"), program.string());
    }
}

// As a script or a deployment tool would: the program itself, run from a
// folder whose name needs quoting.
TEST_F(SessionStartTest, CommandLineOptionWritesAndRemovesTheEntry) {
    const std::filesystem::path folder = dir.path() / "Pel varo $1 %d";
    std::filesystem::create_directories(folder);
    const std::filesystem::path program = folder / "pelvaro";
    std::filesystem::copy_file(PROGRAM_EXE, program);
    const auto user = test::environmentWith({"XDG_CONFIG_HOME=" + dir.path().string()});
    const auto run = [&](const std::string& choice, int status) {
        auto process = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{program.string(), "--autostart", choice}, user);
        EXPECT_EQ(process->waitForExit(test::kPatience), status) << process->errorOutput();
        return process;
    };

    EXPECT_EQ(run("on", 0)->readLine(test::kPatience),
              "Pelvaro startet mit der Sitzung: " + entry.string() + " geschrieben.");
    EXPECT_EQ(sessionStartProgram(), program);
    expectValidEntry();
    EXPECT_EQ(run("off", 0)->readLine(test::kPatience),
              "Pelvaro startet nicht mehr mit der Sitzung: " + entry.string() + " entfernt.");
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(run("off", 0)->readLine(test::kPatience),
              "Pelvaro startet nicht mit der Sitzung: " + entry.string() + " gibt es nicht.");

    EXPECT_EQ(run("an", 2)->errorOutput(), "Aufruf: pelvaro --autostart on|off\n");
    test::ChildProcess homeless({program.string(), "--autostart", "on"},
                                std::vector<std::string>{});
    EXPECT_EQ(homeless.waitForExit(test::kPatience), 1);
    EXPECT_EQ(homeless.errorOutput(), "„Mit der Sitzung starten“ konnte nicht geändert werden: "
                                      "Kein Benutzerordner (HOME ist nicht gesetzt).\n");
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
