#pragma once

#include "tests/e2e/DesktopProgram.h"

#include <gtest/gtest.h>
#include <iostream>
#include <string>
#include <vector>

namespace pelvaro::test {

// A test of the program on an X server of its own. A failed test shows what
// the program wrote on standard error.
class DesktopProgramTest : public ::testing::Test {
protected:
    DesktopProgramTest(int width, int height) : display(width, height) {}

    void TearDown() override {
        if (HasFailure())
            std::cerr << "program output on stderr:\n" << program.errorOutputIfEnded();
    }

    void xdotool(const std::vector<std::string>& arguments) {
        std::vector<std::string> command = {"xdotool"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        ASSERT_TRUE(display.run(command)) << "xdotool " << arguments.front() << " failed";
    }

    VirtualDisplay display;
    DesktopProgram program{display};
};

} // namespace pelvaro::test
