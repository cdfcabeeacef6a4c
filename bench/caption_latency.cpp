// How soon a new console title shows as the console window's caption, the
// thing tavrik's window search waits for. Each round sets a fresh title with
// SetConsoleTitleA and calls FindWindowA for it at once; if that misses, it
// polls every millisecond until the caption appears (2 s at most). tavrik
// pauses 100 ms after a miss, so the misses say what each of its calls costs.
// Prints one line; the console's own title is put back at the end.
// usage: caption_latency [ROUNDS]   (default 100; run it in a console window)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kMaxRounds = 10000;
constexpr double kGiveUpMs = 2000;

double now_ms() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = std::min(std::max(argc > 1 ? std::atoi(argv[1]) : 100, 1), kMaxRounds);
    static WCHAR saved[32768];
    saved[0] = 0;
    GetConsoleTitleW(saved, 32768);
    timeBeginPeriod(1);  // Sleep(1) sleeps about 1 ms, not a 15.6 ms tick

    static double latency[kMaxRounds];
    int missed = 0, never = 0;
    for (int round = 0; round < rounds; ++round) {
        char title[64];
        wsprintfA(title, "caption-%lu-%d", GetCurrentProcessId(), round);
        SetConsoleTitleA(title);
        const double set_at = now_ms();
        bool found = FindWindowA(NULL, title) != NULL;
        if (!found) ++missed;
        while (!found && now_ms() - set_at < kGiveUpMs) {
            Sleep(1);
            found = FindWindowA(NULL, title) != NULL;
        }
        if (!found) ++never;
        latency[round] = now_ms() - set_at;
    }

    timeEndPeriod(1);
    SetConsoleTitleW(saved);
    std::sort(latency, latency + rounds);
    const double median = rounds % 2 == 1 ? latency[rounds / 2]
                                          : (latency[rounds / 2 - 1] + latency[rounds / 2]) / 2;
    std::printf("caption: %d of %d first searches missed; latency min/median/max %.1f/%.1f/%.1f ms", missed,
                rounds, latency[0], median, latency[rounds - 1]);
    if (never > 0) std::printf("; %d never appeared within %.0f ms", never, kGiveUpMs);
    std::printf("\n");
    return 0;
}
