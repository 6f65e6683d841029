#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tools/simulator/ReaderSimulator.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace pelvaro::test {

// The command-line reader end to end: the real executable on the slave side
// of a pseudo-terminal, the simulated reader on the master side as Com3.
class ReadToolFixture : public ::testing::Test {
protected:
    using Bytes = std::vector<uint8_t>;
    static constexpr int kPort = 3;

    // The tool looks for Pelvaro.ini beside itself, so each test runs its own
    // copy from a program directory of its own.
    void SetUp() override {
        std::filesystem::copy_file(READ_TOOL_EXE, program);
        ASSERT_TRUE(reader.mapAsPort(dir.path() / "Pelvaro.ini", kPort));
    }

    // Started and listening; the codes its probes printed are added to probeCodes.
    std::unique_ptr<ChildProcess> start(std::vector<std::string> options) {
        using namespace std::chrono_literals;
        options.insert(options.begin(), program.string());
        auto tool = std::make_unique<ChildProcess>(options);
        // The tool is listening once it has flushed the line; a frame sent
        // before that is purged, so probe until one is answered.
        reader.setAcknowledgementTimeout(200ms);
        bool answered = false;
        for (int attempt = 0; attempt < 50 && !answered; ++attempt)
            answered = reader.sendCard(Bytes{0xFF}).acknowledged;
        reader.setAcknowledgementTimeout(1000ms);
        if (!answered) {
            const bool ended = tool->waitForExit(std::chrono::milliseconds(0)).has_value();
            ADD_FAILURE() << "the tool never answered"
                          << (ended ? "; it ended saying: " + tool->errorOutput() : "");
        }
        while (const auto line = tool->readLine(300ms))
            probeCodes.push_back(*line);
        return tool;
    }

    TempDir dir;
    std::filesystem::path program = dir.path() / "pelvaro-read";
    sim::ReaderSimulator reader;
    std::vector<std::string> probeCodes; // each one a card read
};

} // namespace pelvaro::test
