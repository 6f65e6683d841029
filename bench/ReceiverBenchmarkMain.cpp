// The main of benchmarks that type into an X client: the binary is started
// again as that client.

#include "tests/keyboard/KeystrokeReceiver.h"

#include <benchmark/benchmark.h>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc == 3 && argv[1] == pelvaro::test::kReceiverOption)
        return pelvaro::test::runKeystrokeReceiver(std::chrono::milliseconds(std::atoi(argv[2])));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
