// Times programs from process start to exit, alternating between them in the
// same console: proc_timer OUT ROUNDS "COMMAND LINE" ["COMMAND LINE" ...]
// Each round runs every command once, in the order given, and OUT gets one
// line per run: round, command index, milliseconds, exit status.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kMaxCommandLine = 32768;

double run_once(const char* command_line, DWORD* status) {
    static char line[kMaxCommandLine];
    std::snprintf(line, sizeof line, "%s", command_line);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        *status = 0xFFFFFFFF;
        return -1.0;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    GetExitCodeProcess(process.hProcess, status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: proc_timer OUT ROUNDS COMMAND...\n", stderr);
        return 2;
    }
    FILE* out = std::fopen(argv[1], "w");
    if (out == NULL) return 2;
    const int rounds = std::atoi(argv[2]);
    for (int round = 0; round < rounds; ++round) {
        for (int command = 3; command < argc; ++command) {
            DWORD status = 0;
            const double ms = run_once(argv[command], &status);
            std::fprintf(out, "%d %d %.3f %lu\n", round, command - 3, ms, status);
        }
    }
    std::fclose(out);
    return 0;
}
