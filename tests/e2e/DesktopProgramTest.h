#pragma once

#include "tests/e2e/DesktopProgram.h"
#include "tests/e2e/DesktopRig.h"
#include "tests/support/Polling.h"

#include <chrono>
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

    // Minimises the window until `done` holds. A window manager still placing
    // the window may pass over the request, and a program that has not yet
    // heard of a new notification area minimises as usual: the window is
    // brought back and asked again.
    template <typename Done> bool minimiseUntil(const std::string& window, Done done) {
        const auto finished = [&] { return static_cast<bool>(done()); };
        return waitFor([&] {
            const std::string state = windowState(display, window);
            if (state == "Iconic" && !finished())
                xdotool({"windowactivate", window});
            else if (state == "Normal")
                xdotool({"windowminimize", window});
            return waitFor(finished, std::chrono::seconds(2));
        });
    }

    VirtualDisplay display;
    DesktopProgram program{display};
};

} // namespace pelvaro::test
