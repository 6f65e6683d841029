#include "tests/keyboard/KeystrokeReceiver.h"

#include <cstdlib>
#include <gtest/gtest.h>

// A test binary with keystroke tests starts itself again as the X client that
// receives the keys.
int main(int argc, char** argv) {
    if (argc == 3 && argv[1] == pelvaro::test::kReceiverOption)
        return pelvaro::test::runKeystrokeReceiver(std::chrono::milliseconds(std::atoi(argv[2])));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
