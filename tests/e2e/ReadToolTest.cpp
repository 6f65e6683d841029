// The command-line reader end to end: the real executable on the slave side of
// a pseudo-terminal, the simulated reader on the master side.

#include "fileio/ProfileFile.h"
#include "reader/T_Serial_Interface.h"
#include "tests/e2e/ReadToolFixture.h"
#include "tests/support/FileText.h"

#include <csignal>
#include <filesystem>
#include <grp.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

using ReadToolTest = test::ReadToolFixture;

TEST_F(ReadToolTest, PrintsEveryCardAndAcknowledgesIt) {
    auto tool = start({"--port", "3"});
    const std::vector<Bytes> cards = {{0x12, 0x34, 0x56, 0x78, 0x9A},
                                      {0x0A, 0x10, 0x2C, 0x3D, 0x4E},
                                      {0x12, 0x34, 0x56, 0x78, 0x9A}};
    for (const Bytes& card : cards)
        EXPECT_TRUE(reader.sendCard(card).acknowledged);
    EXPECT_EQ(tool->readLine(1s), "123456789A");
    EXPECT_EQ(tool->readLine(1s), "0A102C3D4E");
    EXPECT_EQ(tool->readLine(1s), "123456789A") << "no duplicate rule here";

    reader.sendStatus('e');
    tool->signal(SIGTERM);
    EXPECT_EQ(tool->waitForExit(2s), 0);
    EXPECT_EQ(tool->readLine(100ms), std::nullopt) << "a status message prints nothing";
}

TEST_F(ReadToolTest, TemplateRepeatGuardAndReadLog) {
    const auto log = dir.path() / "Karten.csv";
    auto tool = start({"--port", "3", "--template", "{dec10}{tab}{w26}{enter}{{{dec}}}",
                       "--repeat-guard", "60", "--log", log.string()});
    for (const Bytes& card : std::vector<Bytes>{{0x12, 0x34, 0x56, 0x78, 0x9A},
                                                {0x12, 0x34, 0x56, 0x78, 0x9A},
                                                {0x0A, 0x10, 0x2C, 0x3D, 0x4E}})
        EXPECT_TRUE(reader.sendCard(card).acknowledged);
    EXPECT_EQ(tool->readLine(1s), "0878082202\t086,30874");
    EXPECT_EQ(tool->readLine(1s), "{78187493530}");
    EXPECT_EQ(tool->readLine(1s), "0271334734\t044,15694") << "the repeat is held back";
    EXPECT_EQ(tool->readLine(1s), "{43221007694}");
    tool->signal(SIGTERM);
    EXPECT_EQ(tool->waitForExit(2s), 0);

    // The probe's cards come first; each line starts with the local time of its read.
    const std::string text = test::fileText(log);
    EXPECT_TRUE(text.starts_with("Zeit;Code;Personalnummer;Ausgabe;Ergebnis\r\n")) << text;
    const std::string read = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d;)";
    const std::regex lastLines(
        R"([\s\S]*\r\n)" + read + "123456789A;;" +
        R"(0878082202\{tab\}086,30874\{enter\}\{78187493530\};ausgegeben\r\n)" + read +
        R"(123456789A;;;zurückgehalten\r\n)" + read + "0A102C3D4E;;" +
        R"(0271334734\{tab\}044,15694\{enter\}\{43221007694\};ausgegeben\r\n)");
    EXPECT_TRUE(std::regex_match(text, lastLines)) << text;

    test::ChildProcess badTemplate({program.string(), "--port", "3", "--template", "{code}{foo}"});
    EXPECT_EQ(badTemplate.waitForExit(2s), 2);
    EXPECT_TRUE(badTemplate.errorOutput().starts_with(
        "Unbekannter Platzhalter {foo} in der Ausgabevorlage\nAufruf: pelvaro-read"));
}

TEST_F(ReadToolTest, CorruptedFrameIsRefusedAndItsRepetitionAccepted) {
    auto tool = start({"--port", "3"});
    const auto outcome =
        reader.sendCard(Bytes{0x01, 0x02, 0x03, 0x04, 0x05}, 1, sim::Fault::BadCheck);
    EXPECT_TRUE(outcome.acknowledged);
    EXPECT_EQ(outcome.naks, 1);
    EXPECT_EQ(outcome.transmissions, 2);
    reader.sendCard(Bytes{0x06}, 1, sim::Fault::Garbage);
    reader.sendCard(Bytes{0x07}, 1, sim::Fault::CutOff);
    reader.sendCard(Bytes{0x08});
    EXPECT_EQ(tool->readLine(1s), "0102030405");
    EXPECT_EQ(tool->readLine(1s), "0000000006");
    EXPECT_EQ(tool->readLine(1s), "0000000008") << "the cut-off frame is lost, nothing else";
}

TEST_F(ReadToolTest, CardLengthAndByteOrderOptions) {
    auto tool = start({"--device", reader.devicePath(), "--length", "8", "--hitag-inverse", "0"});
    reader.sendCard(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A}, 2);
    EXPECT_EQ(tool->readLine(1s), "3456789A");
}

TEST_F(ReadToolTest, HitagCardsAreReversedByDefault) {
    auto tool = start({"--port", "3"});
    reader.sendCard(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A}, 3);
    EXPECT_EQ(tool->readLine(1s), "9A78563412");
}

TEST_F(ReadToolTest, ReaderGoingAwayEndsTheToolWithAnError) {
    auto tool = start({"--port", "3"});
    reader.hangUp();
    EXPECT_EQ(tool->waitForExit(2s), 1);
    EXPECT_NE(tool->errorOutput().find("Verbindung zum Leser verloren"), std::string::npos);
}

TEST_F(ReadToolTest, PortThatCannotBeOpenedIsReportedWithItsReason) {
    test::ChildProcess unmapped({program.string(), "--port", "250"});
    EXPECT_EQ(unmapped.waitForExit(2s), 1);
    EXPECT_EQ(unmapped.errorOutput(),
              "Konnte Schnittstelle Com 250 nicht öffnen: keine Zuordnung in Pelvaro.ini.\n");

    test::ChildProcess missing({program.string(), "--device", "/nonexistent/tty"});
    EXPECT_EQ(missing.waitForExit(2s), 1);
    EXPECT_EQ(missing.errorOutput(), "Konnte Schnittstelle /nonexistent/tty nicht öffnen: das "
                                     "Gerät /nonexistent/tty gibt es nicht.\n");

    T_Serial_Interface otherProgram(false);
    ASSERT_EQ(otherProgram.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
    test::ChildProcess busy({program.string(), "--port", "3"});
    EXPECT_EQ(busy.waitForExit(2s), 1);
    EXPECT_EQ(busy.errorOutput(),
              "Konnte Schnittstelle Com 3 nicht öffnen: " + reader.devicePath() +
                  " wird von einem anderen Programm benutzt.\n");
}

TEST_F(ReadToolTest, WithoutPermissionTheGroupOfTheDeviceIsNamed) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run the tool as another user";
    ASSERT_EQ(chmod(reader.devicePath().c_str(), 0660), 0);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    test::ChildProcess tool({"setpriv", "--reuid", "65534", "--regid", "65534", "--clear-groups",
                             program.string(), "--port", "3"});
    EXPECT_EQ(tool.waitForExit(2s), 1);
    struct stat node {};
    ASSERT_EQ(stat(reader.devicePath().c_str(), &node), 0);
    const std::string group = getgrgid(node.st_gid)->gr_name;
    EXPECT_EQ(tool.errorOutput(), "Konnte Schnittstelle Com 3 nicht öffnen: keine Berechtigung "
                                  "für " +
                                      reader.devicePath() + ". Der Benutzer muss in der Gruppe '" +
                                      group + "' sein (sudo adduser $USER " + group +
                                      ", dann neu anmelden).\n");
}

TEST_F(ReadToolTest, ReconnectWaitsForTheReaderUnderItsStableName) {
    // The mapping names a link, as /dev/serial/by-id does; plugged in again,
    // the reader comes back under another device that the link points to.
    const auto link = dir.path() / "usb-reader";
    std::filesystem::create_symlink(reader.devicePath(), link);
    writeProfileString(dir.path() / "Pelvaro.ini", "Ports", "Com4", link.string());
    auto tool = start({"--port", "4", "--reconnect"});
    EXPECT_TRUE(reader.sendCard(Bytes{0x11}).acknowledged);
    EXPECT_EQ(tool->readLine(2s), "0000000011");

    reader.hangUp();
    sim::ReaderSimulator pluggedAgain;
    std::filesystem::remove(link);
    std::filesystem::create_symlink(pluggedAgain.devicePath(), link);
    ASSERT_TRUE(pluggedAgain.waitForProgram(5s)) << "the tool did not come back";
    EXPECT_TRUE(pluggedAgain.sendCard(Bytes{0x22}).acknowledged);
    EXPECT_EQ(tool->readLine(2s), "0000000022");
    tool->signal(SIGTERM);
    EXPECT_EQ(tool->waitForExit(2s), 0);
    EXPECT_NE(tool->errorOutput().find("Leser getrennt, warte auf Leser..."), std::string::npos);
}

TEST_F(ReadToolTest, WrongOptionsAreExplained) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "genau eines von --port und --device"},
        {{"--port", "3", "--device", "/dev/null"}, "genau eines"},
        {{"--port", "0"}, "--port 0"},
        {{"--port", "3", "--length", "7"}, "--length 7"},
        {{"--port", "3", "--hitag-inverse", "2"}, "--hitag-inverse 2"},
        {{"--port", "3", "--repeat-guard", "-1"}, "--repeat-guard -1"},
        {{"--port"}, "unvollständige Angabe: --port"},
        {{"--port", "3", "--deliver", "ftp://erp/"},
         "http://, https://, mqtt:// oder mqtts://: ftp"},
        {{"--port", "3", "--deliver", "https://"}, "mqtts://: https://"},
        {{"--port", "3", "--deliver", "mqtt://b/t", "--batch", "0"}, "--batch 0"},
        {{"--port", "3", "--deliver", "mqtt://b/t", "--batch", "1001"}, "--batch 1001"},
        {{"--port", "3", "--secret-file", "geheim"}, "gelten nur mit --deliver"},
        {{"--port", "3", "--outbox", "o.sqlite", "--ca-file", "ca.pem"}, "nur mit --deliver"},
        {{"--port", "3", "--database", "db.example/pelvaro"}, "postgresql://: db.example"},
    };
    for (const auto& [options, problem] : cases) {
        std::vector<std::string> command = options;
        command.insert(command.begin(), program.string());
        test::ChildProcess tool(command);
        EXPECT_EQ(tool.waitForExit(2s), 2);
        const std::string said = tool.errorOutput();
        EXPECT_NE(said.find(problem), std::string::npos) << said;
        EXPECT_NE(said.find("Aufruf: pelvaro-read"), std::string::npos);
    }
}

} // namespace
} // namespace pelvaro
