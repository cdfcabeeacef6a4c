// The console helper, cross-compiled beside tavrik.exe and never shipped:
// shared tooling of the end-to-end suite, the benchmark and the scripts that
// show tavrik at work (scripts/build.sh, scripts/screenshots.sh). It runs a
// batch in a console window of its own (console), observes the console from
// outside the tool (probe), keeps a reference window for the z-order checks,
// sets a console up, runs a program and reports how it ended (run), and
// reads a version record back. Every report is key=value lines, written
// whole; a program's or a batch's exit status comes back as its status=
// line, never as the helper's own exit status.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "console/title_tag.h"

namespace {

const char kReferenceClass[] = "TavrikE2EReference";
constexpr int kUtf8Capacity = 4 * 32768;
constexpr int kCommandLineCapacity = 32768;
constexpr int kTitleUnits = 32768;
constexpr int kTagUnits = 64;

// The helper's own exit statuses: done, not done (a step a case relies on
// failed), a usage error or a report it could not write. A program's status
// in a report may also be one of these two: a batch or program that ran
// past its limit, or one that could not be started.
constexpr int kDone = 0;
constexpr int kStepFailed = 2;
constexpr int kTimedOut = 124;
constexpr int kCouldNotStart = 125;

// Writes text as UTF-8, so the suite can compare titles outside any code page.
void put_utf8(FILE* out, const wchar_t* text) {
    static char utf8[kUtf8Capacity];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    std::fputs(n > 0 ? utf8 : "", out);
}

void put_text_field(FILE* out, const char* key, const wchar_t* text) {
    std::fprintf(out, "%s=", key);
    put_utf8(out, text);
    std::fputs("\n", out);
}

// Reports are written under a temporary name and renamed when complete, so
// the suite, which polls for them, never reads half a file.
struct Report {
    char temporary[MAX_PATH + 8];
    const char* path;
    FILE* file;
};

bool open_report(Report& report, const char* path) {
    std::snprintf(report.temporary, sizeof report.temporary, "%s.tmp", path);
    report.path = path;
    report.file = std::fopen(report.temporary, "w");
    return report.file != NULL;
}

int close_report(Report& report) {
    std::fclose(report.file);
    return MoveFileExA(report.temporary, report.path, MOVEFILE_REPLACE_EXISTING) ? kDone : kStepFailed;
}

// Milliseconds on the machine's one monotonic clock, which every process
// reads alike: runs that report it can be laid side by side.
double now_ms() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Whether a title shows a run's temporary title anywhere in it: the tag as
// the tool formats it, read back with the same pattern.
bool shows_a_tag(const wchar_t* title) {
    for (const wchar_t* at = title; *at != 0; ++at) {
        int id = 0;
        if (std::swscanf(at, kTagPattern, &id) != 1) continue;
        wchar_t tag[kTagUnits];
        wsprintfW(tag, kTagPattern, id);
        if (std::wcsncmp(at, tag, std::wcslen(tag)) == 0) return true;
    }
    return false;
}

// The console's title as report lines, in UTF-8, and whether it shows a tag.
void put_title(FILE* out) {
    static wchar_t title[kTitleUnits];
    title[0] = 0;
    GetConsoleTitleW(title, kTitleUnits);
    put_text_field(out, "title", title);
    std::fprintf(out, "tagged=%d\n", shows_a_tag(title) ? 1 : 0);
}

HWND reference_window() { return FindWindowA(kReferenceClass, NULL); }

// Where the console window stands relative to the reference window in the
// desktop's z-order: "above", "below", or "none" when either is missing.
const char* z_relation(HWND console, HWND reference) {
    if (console == NULL || reference == NULL) return "none";
    for (HWND w = GetTopWindow(NULL); w != NULL; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == console) return "above";
        if (w == reference) return "below";
    }
    return "none";
}

// The window that has the foreground and its process, so that a failed
// z-order or activation check on a remote runner can be read from its log.
void put_foreground(FILE* out) {
    HWND window = GetForegroundWindow();
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char image[MAX_PATH] = "?";
    DWORD length = sizeof image;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == NULL || !QueryFullProcessImageNameA(process, 0, image, &length)) std::strcpy(image, "?");
    if (process != NULL) CloseHandle(process);
    const char* name = std::strrchr(image, '\\');
    char window_class[256] = "";
    GetClassNameA(window, window_class, sizeof window_class);
    static wchar_t caption[512];
    caption[0] = 0;
    GetWindowTextW(window, caption, 512);  // reads the caption, sends nothing
    std::fprintf(out, "foreground=%s (pid %lu), class %s, caption \"", name != NULL ? name + 1 : image, pid,
                 window == NULL ? "none" : window_class);
    put_utf8(out, caption);
    std::fputs("\"\n", out);
}

HANDLE console_output() {
    return CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       NULL, OPEN_EXISTING, 0, NULL);
}

int probe(const char* path) {
    Sleep(300);  // let the window manager finish what the last call started
    Report report;
    if (!open_report(report, path)) return kStepFailed;
    FILE* out = report.file;
    HWND console = GetConsoleWindow();
    std::fprintf(out, "window=%d\n", console != NULL ? 1 : 0);
    // The ANSI code page tavrik's command line and title calls are in here.
    std::fprintf(out, "acp=%u\n", GetACP());
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(console, &rect);
    std::fprintf(out, "rect=%ld,%ld,%ld,%ld\n", rect.left, rect.top, rect.right, rect.bottom);
    std::fprintf(out, "iconic=%d\n", IsIconic(console) ? 1 : 0);
    std::fprintf(out, "zoomed=%d\n", IsZoomed(console) ? 1 : 0);
    std::fprintf(out, "visible=%d\n", IsWindowVisible(console) ? 1 : 0);
    const LONG_PTR ex_style = GetWindowLongPtrA(console, GWL_EXSTYLE);
    std::fprintf(out, "topmost=%d\n", (ex_style & WS_EX_TOPMOST) != 0 ? 1 : 0);
    std::fprintf(out, "z=%s\n", z_relation(console, reference_window()));
    put_foreground(out);

    // Only when CONOUT$ answers: the suite requires these where it checks them.
    HANDLE output = console_output();
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (output != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(output, &info)) {
        std::fprintf(out, "buffer=%d,%d\n", info.dwSize.X, info.dwSize.Y);
        std::fprintf(out, "area=%d,%d,%d,%d\n", info.srWindow.Left, info.srWindow.Top,
                     info.srWindow.Right, info.srWindow.Bottom);
        std::fprintf(out, "cursor=%d,%d\n", info.dwCursorPosition.X, info.dwCursorPosition.Y);
    }
    put_title(out);
    return close_report(report);
}

LRESULT CALLBACK reference_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    if (message == WM_TIMER) {
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// A plain top-level window of our own class, not yet shown.
HWND plain_window(const char* class_name, WNDPROC procedure, DWORD ex_style, const char* caption, int x, int y) {
    WNDCLASSA window_class;
    std::memset(&window_class, 0, sizeof window_class);
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = GetModuleHandleA(NULL);
    window_class.lpszClassName = class_name;
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&window_class);
    return CreateWindowExA(ex_style, class_name, caption, WS_OVERLAPPEDWINDOW, x, y, 300, 200, NULL, NULL,
                           window_class.hInstance, NULL);
}

// A plain top-level window that lives until closed, or 60 s at most so a
// failed case can never leave it behind. It never takes the foreground
// (nor does openbox give it, with WS_EX_NOACTIVATE): Windows would not hand
// that back to the console on a runner where no one types, and restore
// could then not activate it.
int reference() {
    HWND window = plain_window(kReferenceClass, reference_proc, WS_EX_NOACTIVATE, "reference", 700, 600);
    if (window == NULL) return kStepFailed;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    SetTimer(window, 1, 60000, NULL);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) DispatchMessageA(&message);
    return kDone;
}

int wait_reference() {
    for (int i = 0; i < 100; ++i) {
        if (reference_window() != NULL) return kDone;
        Sleep(50);
    }
    return kStepFailed;
}

int wait_file(const char* path) {
    for (int i = 0; i < 600; ++i) {
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return kDone;
        Sleep(50);
    }
    return kStepFailed;
}

int close_reference() {
    HWND window = reference_window();
    if (window != NULL) PostMessageA(window, WM_CLOSE, 0, 0);
    return kDone;
}

// Makes the buffer 300 rows tall and shows it from row top, in an area
// rows tall (0: as tall as now). The buffer is also made wider than the
// area, so both scroll bars show before and after a narrower size: when a
// bar appears, Wine's console re-fits its window and may settle one row off
// what was asked.
bool scroll_tall_buffer(SHORT top, SHORT rows) {
    HANDLE output = console_output();
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(output, &info)) return false;
    COORD size = {static_cast<SHORT>(info.dwSize.X + 40), 300};
    SetConsoleScreenBufferSize(output, size);
    if (rows == 0) rows = static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1);
    SMALL_RECT area = {info.srWindow.Left, top, info.srWindow.Right, static_cast<SHORT>(top + rows - 1)};
    return SetConsoleWindowInfo(output, TRUE, &area) != 0;
}

// Puts the console into a starting state for one case. The control for
// max says whether the window manager maximises at all: kDone if it does,
// 3 if it does not.
int setup(const char* action) {
    HWND console = GetConsoleWindow();
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    if (std::strcmp(action, "min") == 0) {
        ShowWindow(console, SW_MINIMIZE);
    } else if (std::strcmp(action, "hide") == 0) {
        ShowWindow(console, SW_HIDE);
    } else if (std::strcmp(action, "below-reference") == 0) {
        SetWindowPos(console, reference_window(), 0, 0, 0, 0, keep);
    } else if (std::strcmp(action, "above-reference") == 0) {
        SetWindowPos(reference_window(), console, 0, 0, 0, 0, keep);
    } else if (std::strcmp(action, "scroll") == 0) {
        if (!scroll_tall_buffer(100, 0)) return kStepFailed;
    } else if (std::strcmp(action, "scroll-near-end") == 0) {
        // The area's last row two above the buffer's: any taller area with
        // the same top would pass the buffer's end.
        if (!scroll_tall_buffer(278, 20)) return kStepFailed;
    } else if (std::strcmp(action, "title-outside-code-pages") == 0) {
        // Japanese is outside cp1252 and the accented e outside cp932, so the
        // title survives no ANSI round trip under either code page.
        SetConsoleTitleW(L"\x65e5\x672c \x30bf\x30a4\x30c8\x30eb Jos\x00e9");  // 日本 タイトル José
    } else if (std::strcmp(action, "maximise-reference") == 0) {
        ShowWindow(reference_window(), SW_MAXIMIZE);
        Sleep(300);
        return IsZoomed(reference_window()) ? kDone : 3;
    } else {
        return kStepFailed;
    }
    Sleep(200);  // let the window manager settle before the next probe
    return kDone;
}

// Starts a command line (with no exe, the program is found from its first
// token): the one place a process is started. With an output handle the
// child gets it as standard output and our standard input and error;
// without, it inherits ours as they are.
bool start_process(const char* exe, const char* command_line, DWORD flags, HANDLE output,
                   PROCESS_INFORMATION& process, BOOL inherit_handles = TRUE) {
    static char line[kCommandLineCapacity];  // CreateProcessA may write to it
    std::snprintf(line, sizeof line, "%s", command_line);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (output != NULL) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    if (CreateProcessA(exe, line, NULL, NULL, inherit_handles, flags, NULL, NULL, &startup, &process)) return true;
    std::fprintf(stderr, "could not start %s: error %lu\n", line, GetLastError());
    return false;
}

// Waits for a started process and returns its exit status (259, STILL_ACTIVE,
// if it outlives the wait).
DWORD exit_status(const PROCESS_INFORMATION& process, DWORD wait_ms) {
    WaitForSingleObject(process.hProcess, wait_ms);
    DWORD status = 259;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

// A new file, inheritable, for a child's standard output.
HANDLE output_file(const char* path) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
}

// How the run verb starts a program and what it watches meanwhile, each
// option as written on its command line.
struct RunOptions {
    const char* exe = NULL;        // exe=PATH: the program; the command line's first token is then only its name
    const char* output = NULL;     // out=FILE: the program's standard output
    bool detached = false;         // detached: the program gets no console at all
    bool leave = false;            // leave: we leave the console first (the program may close it)
    UINT code_page = 0;            // code-page=N: the console's code pages while it runs
    bool decoy = false;            // decoy: another window shows the program's tag
    DWORD interrupt_ms = 0;        // interrupt=MS: Ctrl+C to the console after MS
};

bool read_options(int count, char** args, RunOptions& options) {
    for (int i = 0; i < count; ++i) {
        const char* arg = args[i];
        if (std::strncmp(arg, "exe=", 4) == 0) {
            options.exe = arg + 4;
        } else if (std::strncmp(arg, "out=", 4) == 0) {
            options.output = arg + 4;
        } else if (std::strcmp(arg, "detached") == 0) {
            options.detached = true;
        } else if (std::strcmp(arg, "leave") == 0) {
            options.leave = true;
        } else if (std::strncmp(arg, "code-page=", 10) == 0) {
            options.code_page = std::strtoul(arg + 10, NULL, 10);
        } else if (std::strcmp(arg, "decoy") == 0) {
            options.decoy = true;
        } else if (std::strncmp(arg, "interrupt=", 10) == 0) {
            options.interrupt_ms = std::strtoul(arg + 10, NULL, 10);
        } else {
            std::fprintf(stderr, "run: unknown option %s\n", arg);
            return false;
        }
    }
    return true;
}

// Another program's window that shows the very caption the run is about to
// give its console, as a console left with a killed run's tag would: the
// run must leave it alone. The program starts suspended, so its main
// thread's id, and with it the tag, is known before it runs; the decoy then
// stands above every window. While the program runs we answer the decoy's
// messages, as any live window's thread would, and watch the console's
// title: the moment it shows the tag, the first window a search for that
// caption finds must be the decoy, or the decoy was never in play.
struct Decoy {
    HWND window = NULL;
    wchar_t tag[kTagUnits] = {0};
    RECT before = {0, 0, 0, 0};
    RECT after = {0, 0, 0, 0};
    bool tag_seen = false;
    const char* first_match = "none";
};

void show_decoy(Decoy& decoy, DWORD thread_id) {
    wsprintfW(decoy.tag, kTagPattern, static_cast<int>(thread_id));
    SetWindowTextW(decoy.window, decoy.tag);
    ShowWindow(decoy.window, SW_SHOWNOACTIVATE);
    Sleep(300);  // let the window manager place it
    GetWindowRect(decoy.window, &decoy.before);
}

void watch_decoy(Decoy& decoy, HANDLE process) {
    const ULONGLONG deadline = GetTickCount64() + 20000;
    while (MsgWaitForMultipleObjects(1, &process, FALSE, 1, QS_ALLINPUT) != WAIT_OBJECT_0 &&
           GetTickCount64() < deadline) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        wchar_t title[kTagUnits];
        title[0] = 0;
        GetConsoleTitleW(title, kTagUnits);
        if (!decoy.tag_seen && std::wcscmp(title, decoy.tag) == 0) {
            decoy.tag_seen = true;
            HWND first = FindWindowW(NULL, decoy.tag);
            decoy.first_match = first == decoy.window ? "decoy" : first == NULL ? "none" : "other";
        }
    }
    Sleep(300);  // a move the run asked for has reached the window
    GetWindowRect(decoy.window, &decoy.after);
    DestroyWindow(decoy.window);
}

// We outlive the Ctrl+C with a handler function, which no child inherits.
BOOL WINAPI outlive_ctrl_c(DWORD event) { return event == CTRL_C_EVENT; }

// cmd's start /b starts us with Ctrl+C ignored, and a program we start
// would inherit that and never see the Ctrl+C. Wine's start /b does not do
// so: we ignore it here first, so that under Wine too the Ctrl+C reaches
// the program only because we turn its processing back on.
void take_ctrl_c_back_from_start_b() {
    SetConsoleCtrlHandler(NULL, TRUE);
    SetConsoleCtrlHandler(outlive_ctrl_c, TRUE);
    SetConsoleCtrlHandler(NULL, FALSE);
}

// Waits until this is the console's only process: the batch's cmd, which
// started us with start /b, has ended and will not answer the Ctrl+C with
// its "Terminate batch job" prompt.
bool alone_in_console() {
    for (int i = 0; i < 200; ++i) {
        DWORD pids[8];
        if (GetConsoleProcessList(pids, 8) == 1) return true;
        Sleep(50);
    }
    return false;
}

// Another thread of the console's processes keeps setting the console
// window's caption, so a tag set as the console's title never stays there
// and the program's search keeps missing, as in a Windows Terminal tab
// that is not selected or while the user selects text in a classic console.
std::atomic<bool> stop_holding{false};

// Only a caption that changed is set back: an endless stream of them kept
// Wine's console host so busy that a Ctrl+C took seconds to arrive.
DWORD WINAPI hold_caption(LPVOID) {
    HWND console = GetConsoleWindow();
    wchar_t caption[8];
    while (!stop_holding) {
        if (GetWindowTextW(console, caption, 8) != 4 || std::wcscmp(caption, L"held") != 0) {
            SetWindowTextW(console, L"held");
        }
    }
    return 0;
}

// A busy machine lets more searches slip (the caption holder gets the CPU
// later): under Wine with both cores loaded, 10 rounds all slipped once in
// 7 runs of the case. A slipped round costs one short run.
constexpr int kInterruptRounds = 30;
const wchar_t kInterruptTitle[] = L"Mine \x65e5\x672c";  // Mine 日本

// Titles the console, holds its caption, starts the program and sends
// Ctrl+C to the console after the delay; reports how the program ended,
// how long after the Ctrl+C, and the console's title once it had. Now and
// then a search slips in between two caption changes and the program ends
// before the Ctrl+C: such a round proves nothing, and the next round starts
// the program again (the rounds it took are reported as slipped).
void run_interrupted(FILE* out, const char* command_line, const RunOptions& options, HANDLE output) {
    const bool alone = alone_in_console();
    take_ctrl_c_back_from_start_b();
    HANDLE holder = CreateThread(NULL, 0, hold_caption, NULL, 0, NULL);
    int slipped = 0;
    BOOL sent = FALSE;
    DWORD status = kCouldNotStart;
    double after_ms = -1;
    for (int round = 0; round < kInterruptRounds; ++round) {
        SetConsoleTitleW(kInterruptTitle);
        PROCESS_INFORMATION process;
        if (!start_process(options.exe, command_line, 0, output, process)) break;
        if (WaitForSingleObject(process.hProcess, options.interrupt_ms) == WAIT_OBJECT_0) {
            status = exit_status(process, 0);
            ++slipped;
            continue;
        }
        const double sent_at = now_ms();
        sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        status = exit_status(process, 10000);
        after_ms = now_ms() - sent_at;
        break;
    }
    stop_holding = true;
    if (holder != NULL) WaitForSingleObject(holder, 5000);
    std::fprintf(out, "status=%lu\nalone=%d\nslipped=%d\nsent=%d\nafter_ms=%.0f\n", status, alone ? 1 : 0,
                 slipped, sent ? 1 : 0, after_ms);
    put_text_field(out, "title_set", kInterruptTitle);
}

// Runs a program as the options say and reports how it ended: whether we
// had a console window, the program's exit status (kCouldNotStart if it
// could not be started), when it started and ended on the shared clock, and
// what each option watched.
int run_program(const char* report_path, const char* command_line, int count, char** args) {
    RunOptions options;
    if (!read_options(count, args, options)) return kStepFailed;
    HWND console = GetConsoleWindow();
    HANDLE output = NULL;
    if (options.output != NULL && (output = output_file(options.output)) == INVALID_HANDLE_VALUE) output = NULL;
    const bool output_ready = options.output == NULL || output != NULL;

    Report report;
    if (options.interrupt_ms != 0) {
        if (!open_report(report, report_path)) return kStepFailed;
        std::fprintf(report.file, "window=%d\n", console != NULL ? 1 : 0);
        if (output_ready) {
            run_interrupted(report.file, command_line, options, output);
        } else {
            std::fprintf(report.file, "status=%d\n", kCouldNotStart);
        }
        if (output != NULL) CloseHandle(output);
        put_title(report.file);
        return close_report(report);
    }

    const UINT input_page = GetConsoleCP(), output_page = GetConsoleOutputCP();
    bool taken = true;
    if (options.code_page != 0) {
        taken = SetConsoleCP(options.code_page) && SetConsoleOutputCP(options.code_page) &&
                GetConsoleOutputCP() == options.code_page;
    }
    Decoy decoy;
    if (options.decoy) decoy.window = plain_window("TavrikE2EDecoy", DefWindowProcA, WS_EX_TOPMOST, "", 640, 520);
    const DWORD flags = (options.detached ? DETACHED_PROCESS : 0) | (options.decoy ? CREATE_SUSPENDED : 0);

    DWORD status = kCouldNotStart;
    bool gone = false;
    const double started_ms = now_ms();
    PROCESS_INFORMATION process;
    if (output_ready && taken && (!options.decoy || decoy.window != NULL) &&
        start_process(options.exe, command_line, flags, output, process)) {
        if (options.leave) FreeConsole();
        if (options.decoy) {
            show_decoy(decoy, process.dwThreadId);
            ResumeThread(process.hThread);
            watch_decoy(decoy, process.hProcess);
        }
        status = exit_status(process, options.leave ? 30000 : INFINITE);
        // The window that was the console, watched for up to 5 s: "gone"
        // once it is destroyed.
        for (int i = 0; options.leave && i < 50 && !gone; ++i) {
            gone = !IsWindow(console);
            if (!gone) Sleep(100);
        }
    }
    const double ended_ms = now_ms();
    if (output != NULL) CloseHandle(output);
    if (options.code_page != 0) {
        SetConsoleCP(input_page);
        SetConsoleOutputCP(output_page);
    }

    if (!open_report(report, report_path)) return kStepFailed;
    FILE* out = report.file;
    std::fprintf(out, "window=%d\nstatus=%lu\nstarted_ms=%.1f\nended_ms=%.1f\n", console != NULL ? 1 : 0, status,
                 started_ms, ended_ms);
    if (options.leave) std::fprintf(out, "console=%s\n", gone ? "gone" : "present");
    if (options.code_page != 0) {
        std::fprintf(out, "taken=%d\nrestored=%d\n", taken ? 1 : 0,
                     GetConsoleCP() == input_page && GetConsoleOutputCP() == output_page ? 1 : 0);
    }
    if (options.decoy) {
        put_text_field(out, "tag", decoy.tag);
        std::fprintf(out, "tag_seen=%d\nfirst_match=%s\ndecoy_before=%ld,%ld\ndecoy_after=%ld,%ld\n",
                     decoy.tag_seen ? 1 : 0, decoy.first_match, decoy.before.left, decoy.before.top,
                     decoy.after.left, decoy.after.top);
    }
    return close_report(report);
}

bool under_wine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL; }

// How a batch gets a console window of its own; the one place the two
// platforms differ. Windows 11 may hand a new console to Windows Terminal
// (its default-terminal setting), which changes the window tavrik acts on,
// so there the batch runs under conhost.exe, which always makes a classic
// console window, and cmd.exe is its child. Wine's conhost.exe runs nothing
// when started so (it exits with 1 at once), and a console that Wine opens
// is always a classic window, so there cmd.exe gets its new console
// straight from CreateProcess.
struct ConsoleStart {
    const char* host;  // runs "cmd.exe /c FILE" in a new console, or "" for none
    DWORD flags;
};

// A console with no window at all, as a hidden or scheduled job's console
// is, comes the same way on both: cmd.exe started with CREATE_NO_WINDOW.
ConsoleStart console_start(bool window) {
    if (!window) return {"", CREATE_NO_WINDOW};
    if (under_wine()) return {"", CREATE_NEW_CONSOLE};
    return {"conhost.exe ", 0};
}

// The process if it is a cmd.exe, else NULL. The batch is the job's first
// cmd.exe: the process started, or the console host's child, which comes
// after the host's own helpers.
HANDLE open_if_cmd(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    char image[MAX_PATH];
    DWORD length = sizeof image;
    if (process != NULL && QueryFullProcessImageNameA(process, 0, image, &length) && length >= 8 &&
        lstrcmpiA(image + length - 8, "\\cmd.exe") == 0) {
        return process;
    }
    if (process != NULL) CloseHandle(process);
    return NULL;
}

// Runs a batch file in a console of its own, with a window unless told
// otherwise, waits until every process it started has ended, and returns
// the batch's exit status. All of them run in one job: past the time limit
// the whole tree is ended and the status is kTimedOut; kCouldNotStart when
// the batch never ran.
DWORD run_batch(const char* batch, const char* seconds, bool window) {
    const ULONGLONG deadline = GetTickCount64() + 1000ull * std::strtoul(seconds, NULL, 10);
    HANDLE job = CreateJobObjectA(NULL, NULL);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    std::memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, NULL, 0, 1);
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association = {job, port};
    if (job == NULL || port == NULL ||
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &association,
                                 sizeof association)) {
        std::fprintf(stderr, "could not start: no job object (error %lu)\n", GetLastError());
        return kCouldNotStart;
    }

    const ConsoleStart start = console_start(window);
    static char line[kCommandLineCapacity];
    std::snprintf(line, sizeof line, "%scmd.exe /c \"%s\"", start.host, batch);
    PROCESS_INFORMATION process;
    if (!start_process(NULL, line, CREATE_SUSPENDED | start.flags, NULL, process, FALSE)) return kCouldNotStart;
    // Suspended until it is in the job, so none of its children escapes.
    if (!AssignProcessToJobObject(job, process.hProcess)) {
        std::fprintf(stderr, "could not start: no job for %s (error %lu)\n", line, GetLastError());
        TerminateProcess(process.hProcess, kCouldNotStart);
        return kCouldNotStart;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);

    HANDLE cmd = NULL;  // the batch's cmd.exe, once the job reports it
    bool all_ended = false;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED data = NULL;
        // A failed wait is the time limit (or a broken port): stop waiting.
        if (now >= deadline ||
            !GetQueuedCompletionStatus(port, &message, &key, &data, static_cast<DWORD>(deadline - now))) {
            break;
        }
        const DWORD pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(data));
        if (message == JOB_OBJECT_MSG_NEW_PROCESS && cmd == NULL) cmd = open_if_cmd(pid);
        if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) {
            all_ended = true;
            break;
        }
    }

    DWORD status = kCouldNotStart;
    const bool cmd_ended = cmd != NULL && WaitForSingleObject(cmd, 0) == WAIT_OBJECT_0;
    if (cmd_ended) GetExitCodeProcess(cmd, &status);
    if (!all_ended) {
        TerminateJobObject(job, kTimedOut);
        std::fprintf(stderr, "%s still running after %s s: ended\n", cmd_ended ? "processes of the case" : batch,
                     seconds);
        if (!cmd_ended) status = kTimedOut;
    } else if (cmd == NULL) {
        std::fprintf(stderr, "could not start: %s ran no batch\n", line);
    }
    CloseHandle(job);
    CloseHandle(process.hProcess);
    return status;
}

int console(const char* report_path, const char* batch, const char* seconds, bool window) {
    const DWORD status = run_batch(batch, seconds, window);
    Report report;
    if (!open_report(report, report_path)) return kStepFailed;
    std::fprintf(report.file, "status=%lu\n", status);
    return close_report(report);
}

// Reads the version record back through the Win32 version API.
int version(const char* exe, const char* path) {
    Report report;
    if (!open_report(report, path)) return kStepFailed;
    FILE* out = report.file;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
    static char data[65536];
    if (size == 0 || size > sizeof data || !GetFileVersionInfoA(exe, 0, size, data)) {
        std::fputs("record=missing\n", out);
        return close_report(report);
    }
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    if (VerQueryValueA(data, "\\", reinterpret_cast<void**>(&fixed), &length) && fixed != NULL) {
        std::fprintf(out, "file_version=%lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16,
                     fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16,
                     fixed->dwFileVersionLS & 0xFFFF);
        std::fprintf(out, "product_version=%lu.%lu.%lu.%lu\n", fixed->dwProductVersionMS >> 16,
                     fixed->dwProductVersionMS & 0xFFFF, fixed->dwProductVersionLS >> 16,
                     fixed->dwProductVersionLS & 0xFFFF);
        std::fprintf(out, "flags_mask=%lu\nflags=%lu\nos=%lu\ntype=%lu\nsubtype=%lu\ndate=%lu.%lu\n",
                     fixed->dwFileFlagsMask, fixed->dwFileFlags, fixed->dwFileOS, fixed->dwFileType,
                     fixed->dwFileSubtype, fixed->dwFileDateMS, fixed->dwFileDateLS);
    }
    WORD* translation = NULL;
    if (VerQueryValueA(data, "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                       &length) &&
        length >= 4) {
        std::fprintf(out, "translation=%04X,%04X\n", translation[0], translation[1]);
    }
    const wchar_t* names[] = {L"Comments",     L"CompanyName",      L"FileDescription",
                              L"FileVersion",  L"InternalName",     L"LegalCopyright",
                              L"OriginalFilename", L"ProductName",  L"ProductVersion"};
    for (const wchar_t* name : names) {
        wchar_t query[128];
        std::swprintf(query, 128, L"\\StringFileInfo\\041103A4\\%ls", name);
        wchar_t* value = NULL;
        std::fputs("string.", out);
        put_utf8(out, name);
        std::fputs("=", out);
        if (VerQueryValueW(data, query, reinterpret_cast<void**>(&value), &length) && value != NULL) {
            put_utf8(out, value);
        } else {
            std::fputs("<missing>", out);
        }
        std::fputs("\n", out);
    }
    return close_report(report);
}

// The verbs: each name, how many arguments it needs at least, and what runs
// it with the arguments after the name.
struct Verb {
    const char* name;
    int arguments;
    int (*run)(int count, char** args);
};

const Verb kVerbs[] = {
    {"console", 3,
     [](int n, char** a) { return console(a[0], a[1], a[2], !(n >= 4 && std::strcmp(a[3], "no-window") == 0)); }},
    {"probe", 1, [](int, char** a) { return probe(a[0]); }},
    {"reference", 0, [](int, char**) { return reference(); }},
    {"wait-reference", 0, [](int, char**) { return wait_reference(); }},
    {"wait-file", 1, [](int, char** a) { return wait_file(a[0]); }},
    {"close-reference", 0, [](int, char**) { return close_reference(); }},
    {"setup", 1, [](int, char** a) { return setup(a[0]); }},
    {"run", 2, [](int n, char** a) { return run_program(a[0], a[1], n - 2, a + 2); }},
    {"version", 2, [](int, char** a) { return version(a[0], a[1]); }},
};

}  // namespace

int main(int argc, char** argv) {
    for (const Verb& verb : kVerbs) {
        if (argc >= 2 && std::strcmp(argv[1], verb.name) == 0 && argc - 2 >= verb.arguments) {
            return verb.run(argc - 2, argv + 2);
        }
    }
    std::fputs("usage: e2e_helper VERB ..., where VERB is one of:", stderr);
    for (const Verb& verb : kVerbs) std::fprintf(stderr, " %s", verb.name);
    std::fputs("\n", stderr);
    return kStepFailed;
}
