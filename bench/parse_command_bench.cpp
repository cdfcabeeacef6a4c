// parse_command on typical command lines, natively. Without arguments it is
// a Google Benchmark; with --repeat N it just parses every line N times, for
// counting instructions under callgrind (scripts/bench.sh divides the count).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "cmdline/parse_command.h"

namespace {

const char* const kLines[] = {
    "tavrik min",
    "tavrik.exe move 100,50",
    "\"C:\\Program Files\\tavrik\\tavrik.exe\" buffer 120,3000",
    "tavrik size 80,25",
    "tavrik topmost",
    "tavrik",
};
constexpr int kLineCount = sizeof kLines / sizeof *kLines;

void BM_ParseTypicalLines(benchmark::State& state) {
    for (auto _ : state) {
        for (const char* line : kLines) benchmark::DoNotOptimize(parse_command(line));
    }
    state.SetItemsProcessed(state.iterations() * kLineCount);
}
BENCHMARK(BM_ParseTypicalLines);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--repeat") == 0) {
        const long repeat = std::atol(argv[2]);
        long kinds = 0;
        for (long i = 0; i < repeat; ++i) {
            for (const char* line : kLines) kinds += static_cast<long>(parse_command(line).kind);
        }
        return kinds == 0 ? 1 : 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
