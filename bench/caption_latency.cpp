// How soon a new console title shows as the console window's caption, the
// thing tavrik's window search waits for, as a run meets it: each round
// first leaves the console idle for 50 ms, as between two commands of a
// script, then sets a fresh title with SetConsoleTitleW and calls
// FindWindowExW for it at once, as tavrik does. If that misses, it polls every millisecond
// until the caption appears (2 s at most); the timer resolution is raised
// for that polling only, never while a round's first search is made. tavrik
// pauses 100 ms after a miss, so the misses say what each of its calls
// costs. Round 1 is also reported on its own: it is the console's first
// new title. Prints one line; the console's own title is put back at the end.
// usage: caption_latency [ROUNDS]   (default 100; run it in a console window)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kMaxRounds = 10000;
constexpr double kGiveUpMs = 2000;
constexpr DWORD kIdleMs = 50;

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

    static double latency[kMaxRounds];
    int missed = 0, never = 0;
    for (int round = 0; round < rounds; ++round) {
        Sleep(kIdleMs);
        WCHAR title[64];
        wsprintfW(title, L"caption-%lu-%d", GetCurrentProcessId(), round);
        SetConsoleTitleW(title);
        const double set_at = now_ms();
        bool found = FindWindowExW(NULL, NULL, NULL, title) != NULL;
        if (!found) {
            ++missed;
            timeBeginPeriod(1);  // Sleep(1) sleeps about 1 ms, not a 15.6 ms tick
            while (!found && now_ms() - set_at < kGiveUpMs) {
                Sleep(1);
                found = FindWindowExW(NULL, NULL, NULL, title) != NULL;
            }
            timeEndPeriod(1);
        }
        if (!found) ++never;
        latency[round] = now_ms() - set_at;
    }

    SetConsoleTitleW(saved);
    const double first = latency[0];
    std::sort(latency, latency + rounds);
    const double median = rounds % 2 == 1 ? latency[rounds / 2]
                                          : (latency[rounds / 2 - 1] + latency[rounds / 2]) / 2;
    std::printf("caption: %d of %d first searches missed (rounds %lu ms apart); latency min/median/max "
                "%.1f/%.1f/%.1f ms; round 1: %.1f ms",
                missed, rounds, kIdleMs, latency[0], median, latency[rounds - 1], first);
    if (never > 0) std::printf("; %d never appeared within %.0f ms", never, kGiveUpMs);
    std::printf("\n");
    return 0;
}
