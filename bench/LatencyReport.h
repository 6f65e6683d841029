#pragma once

#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

namespace pelvaro::bench {

// A card frame of 14 bytes on the wire at 9600 baud, ten bits a byte.
inline constexpr double kCardFrameWireMs = 14 * 1000.0 / 960.0;

// The value that the given percentage of the values stays below (50: the median).
inline double percentile(std::vector<double> values, size_t percent) {
    std::sort(values.begin(), values.end());
    return values[values.size() * percent / 100];
}

// Median and 99th percentile of the latencies, in milliseconds and as ratios
// to the card frame's time on the wire.
inline void reportLatencies(benchmark::State& state, const std::vector<double>& latenciesMs) {
    const double median = percentile(latenciesMs, 50);
    const double p99 = percentile(latenciesMs, 99);
    state.counters["median_ms"] = median;
    state.counters["p99_ms"] = p99;
    state.counters["median_x_wire"] = median / kCardFrameWireMs;
    state.counters["p99_x_wire"] = p99 / kCardFrameWireMs;
}

} // namespace pelvaro::bench
