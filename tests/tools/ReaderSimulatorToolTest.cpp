// The pelvaro-reader-sim executable against the program's serial port, found
// through the port mapping the executable writes: script mode, keys from a
// pipe, and its options.

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ProgramSide.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

constexpr int kPort = 9;

// The executable with its line mapped as Com9 in a settings file of dir.
class SimulatorRun {
public:
    // With input, standard input comes from that file through the shell.
    SimulatorRun(const test::TempDir& dir, std::vector<std::string> options,
                 const std::filesystem::path& input = {})
        : settingsFile_(dir.path() / "Pelvaro.ini"), readyFile_(dir.path() / "ready"),
          process_(command(std::move(options), input)) {}

    const std::filesystem::path& settingsFile() const { return settingsFile_; }
    test::ChildProcess& process() { return process_; }

    // Opens the program's port through the mapping once the line is ready.
    bool connect(test::ProgramSide& program) const {
        return test::waitFor([&] { return std::filesystem::exists(readyFile_); }) &&
               program.port.open(kPort, 9600) == OpenResult::Opened;
    }

    // Reads until the simulator has ended and the line is gone, or ten seconds
    // have passed; its exit status.
    std::optional<int> readToTheEnd(test::ProgramSide& program) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        bool lineLost = false;
        while (!(process_.waitForExit(0ms) && lineLost) &&
               std::chrono::steady_clock::now() < deadline)
            lineLost = program.pass() == PassResult::LineLost;
        return process_.waitForExit(0ms);
    }

    // Everything it printed, once it has ended.
    std::vector<std::string> outputLines() {
        std::vector<std::string> lines;
        while (const auto line = process_.readLine(100ms))
            lines.push_back(*line);
        return lines;
    }

private:
    std::vector<std::string> command(std::vector<std::string> options,
                                     const std::filesystem::path& input) const {
        options.insert(options.begin(), {SIM_EXE, "--ini", settingsFile_.string(), "--com",
                                         std::to_string(kPort), "--ready-file", readyFile_});
        if (!input.empty())
            options.insert(options.begin(), {"/bin/sh", "-c", "exec \"$@\" < \"$0\"", input});
        return options;
    }

    std::filesystem::path settingsFile_;
    std::filesystem::path readyFile_;
    test::ChildProcess process_;
};

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(ReaderSimulatorToolTest, ScriptHoldsTheCardsWithItsFaultsThenHangsUp) {
    test::TempDir dir;
    SimulatorRun simulator(dir, {"--codes", "123456789A,1003101002", "--count", "5", "--interval",
                                 "20", "--bad-check-every", "2", "--hang-up-after", "3",
                                 "--hardware", "7,8,9,10"});
    test::ProgramSide program{PortMap(simulator.settingsFile())};
    ASSERT_TRUE(simulator.connect(program));
    // Its mapping line goes when it ends.
    const std::string device = PortMap(simulator.settingsFile()).devicePath(kPort).value_or("?");

    const uint8_t query = 'H';
    ASSERT_EQ(program.protocol.sendFrame(1, &query, 1, true), FrameSendResult::Acknowledged);
    ASSERT_EQ(program.pass(), PassResult::Frame);
    EXPECT_EQ(program.protocol.frame().byteAt(4), 10) << "the I/O box code of --hardware";

    EXPECT_EQ(simulator.readToTheEnd(program), 0);
    EXPECT_EQ(program.binding.codes,
              (std::vector<std::string>{"123456789A", "1003101002", "123456789A"}));

    const auto lines = simulator.outputLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Gerät: " + device);
    EXPECT_TRUE(contains(lines, "Anfrage 'H' beantwortet"));
    EXPECT_TRUE(contains(lines, "Karte 2 (1003101002) mit falscher Prüfsumme: NAK, wiederholt, "
                                "quittiert"));
    EXPECT_TRUE(contains(lines, "Leitung getrennt"));
}

TEST(ReaderSimulatorToolTest, KeysFromAPipeHoldCardsUntilTheLineIsHungUp) {
    test::TempDir dir;
    const auto keyPipe = dir.path() / "keys";
    ASSERT_EQ(mkfifo(keyPipe.c_str(), 0600), 0);
    SimulatorRun simulator(dir, {}, keyPipe);
    int keys = -1; // the shell starts the simulator once the pipe has a writer
    ASSERT_TRUE(test::waitFor(
        [&] { return (keys = ::open(keyPipe.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }));
    test::ProgramSide program{PortMap(simulator.settingsFile())};
    ASSERT_TRUE(simulator.connect(program));

    const std::string typed = "1 3\nb2 v s x h";
    ASSERT_EQ(::write(keys, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    ::close(keys);

    EXPECT_EQ(simulator.readToTheEnd(program), 0);
    EXPECT_EQ(program.binding.codes,
              (std::vector<std::string>{"123456789A", "1003101002", "0A1B2C3D4E", "123456789A"}));
    EXPECT_EQ(program.protocol.lastMessage(), message::kStatusClear);
    const auto lines = simulator.outputLines();
    EXPECT_TRUE(contains(lines, "Karte 2 (0A1B2C3D4E) mit falscher Prüfsumme: NAK, wiederholt, "
                                "quittiert"));
    EXPECT_TRUE(contains(lines, "Karte 1 in drei Sekunden"));
    EXPECT_TRUE(contains(lines, "Unbekannte Taste 'x'"));
    EXPECT_TRUE(contains(lines, "Leitung getrennt"));
}

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ReaderSimulatorToolTest, MappingLineGoesAgainHoweverTheSimulatorEnds) {
    // A file of the user's, with Windows line ends and lines of its own.
    const std::string before = "; Einstellungen\r\n[Serial]\r\nPort=9\r\n[Ports]\r\n"
                               "Com2=/dev/ttyUSB0\r\n\r\n[Global]\r\nLineFeed=1\r\n";
    for (const int ending : {SIGTERM, SIGINT, SIGHUP, SIGKILL, 0}) {
        test::TempDir dir;
        std::ofstream(dir.path() / "Pelvaro.ini", std::ios::binary) << before;
        const auto keys = dir.path() / "keys";
        std::ofstream(keys) << (ending == 0 ? "q" : "");
        // At the end of its keys the simulator ends too: for a signal it waits
        // on a pipe instead.
        ASSERT_EQ(ending == 0 ? 0 : mkfifo((dir.path() / "wait").c_str(), 0600), 0);
        SimulatorRun simulator(dir, {}, ending == 0 ? keys : dir.path() / "wait");
        int holdOpen = -1;
        if (ending != 0) {
            ASSERT_TRUE(test::waitFor([&] {
                return (holdOpen = ::open((dir.path() / "wait").c_str(), O_WRONLY | O_NONBLOCK)) >=
                       0;
            }));
        }
        ASSERT_TRUE(test::waitFor([&] {
            return PortMap(simulator.settingsFile()).devicePath(kPort).has_value();
        })) << "the mapping was not written";
        if (ending != 0)
            simulator.process().signal(ending);
        EXPECT_TRUE(simulator.process().waitForExit(test::kPatience));
        EXPECT_TRUE(test::waitFor([&] { return fileText(simulator.settingsFile()) == before; }))
            << "after signal " << ending << ":\n"
            << fileText(simulator.settingsFile());
        if (holdOpen >= 0)
            ::close(holdOpen);
    }
}

TEST(ReaderSimulatorToolTest, WrongOptionsAreExplainedInGerman) {
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {"--com", "256"},
                                               {"--ready-file"},
                                               {"--codes", "12G4"},
                                               {"--codes", "123"},
                                               {"--codes", "12,,34"},
                                               {"--interval", "100"},
                                               {"--hardware", "1,2,3"},
                                               {"--hardware", "1,2,3,256"}}) {
        test::TempDir dir;
        SimulatorRun simulator(dir, options);
        EXPECT_EQ(simulator.process().waitForExit(2s), 2) << options.front();
        const std::string error = simulator.process().errorOutput();
        EXPECT_TRUE(error.starts_with("Fehler: ")) << error;
        EXPECT_NE(error.find("Aufruf: pelvaro-reader-sim"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(simulator.settingsFile()));
    }
}

} // namespace
} // namespace pelvaro
