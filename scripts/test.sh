#!/usr/bin/env bash
# Sets everything up and runs every test: the test suite, the same suite built
# with AddressSanitizer and UndefinedBehaviorSanitizer, and a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --tests
jobs=$(nproc)

echo "== Tests"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELVARO_SANITIZE=ON -DPELVARO_WERROR=ON
cmake --build build-sanitize
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

echo "== Fuzzing"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DPELVARO_FUZZ=ON -DPELVARO_TESTS=OFF -DPELVARO_WERROR=ON
cmake --build build-fuzz --target ProtocolFuzzer ProfileFileFuzzer
for fuzzer in ProtocolFuzzer ProfileFileFuzzer; do
    corpus=$(mktemp -d)
    build-fuzz/bin/$fuzzer -max_total_time="${PELVARO_FUZZ_SECONDS:-30}" -max_len=1024 \
        -print_final_stats=1 "$corpus" 2>&1 | tail -n 3
    rm -rf "$corpus"
done

echo "== All tests passed"
