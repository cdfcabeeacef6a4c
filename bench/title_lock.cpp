// The uncontended cost of tavrik's title lock: the same calls the locator
// makes around the title (name it, create, wait, release, close), timed in
// one process and printed as microseconds per take-and-release.
// usage: title_lock ROUNDS
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 1000;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < rounds; ++i) {
        char name[64];
        const auto console = reinterpret_cast<std::uintptr_t>(GetConsoleWindow());
        wsprintfA(name, "Local\\tavrik-title-%lu", static_cast<unsigned long>(console & 0xFFFFFFFFu));
        HANDLE lock = CreateMutexA(NULL, FALSE, name);
        WaitForSingleObject(lock, 3500);
        ReleaseMutex(lock);
        CloseHandle(lock);
    }
    QueryPerformanceCounter(&end);
    const double us = 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
                      static_cast<double>(frequency.QuadPart) / rounds;
    std::printf("title lock, uncontended: %.1f us per take and release (%d rounds)\n", us, rounds);
    return 0;
}
