// Test-only helper for the end-to-end suite, cross-compiled beside tavrik.exe
// and never shipped. One exe, several verbs: observe the console window and
// buffer from outside the tool (probe), stand in as a reference window for
// z-order checks, put the console into a starting state, launch a process
// that may close the console, and read a version record back.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

const char kReferenceClass[] = "TavrikE2EReference";
constexpr int kUtf8Capacity = 4 * 32768;

// Writes text as UTF-8, so the suite can compare titles outside any code page.
void put_utf8(FILE* out, const wchar_t* text) {
    static char utf8[kUtf8Capacity];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    std::fputs(n > 0 ? utf8 : "", out);
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

void close_report(Report& report) {
    std::fclose(report.file);
    MoveFileExA(report.temporary, report.path, MOVEFILE_REPLACE_EXISTING);
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

HANDLE console_output() {
    return CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       NULL, OPEN_EXISTING, 0, NULL);
}

int probe(const char* path) {
    Sleep(300);  // let the window manager finish what the last call started
    Report report;
    if (!open_report(report, path)) return 2;
    FILE* out = report.file;
    HWND console = GetConsoleWindow();
    std::fprintf(out, "window=%d\n", console != NULL ? 1 : 0);
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(console, &rect);
    std::fprintf(out, "rect=%ld,%ld,%ld,%ld\n", rect.left, rect.top, rect.right, rect.bottom);
    std::fprintf(out, "iconic=%d\n", IsIconic(console) ? 1 : 0);
    std::fprintf(out, "zoomed=%d\n", IsZoomed(console) ? 1 : 0);
    std::fprintf(out, "visible=%d\n", IsWindowVisible(console) ? 1 : 0);
    const LONG_PTR ex_style = GetWindowLongPtrA(console, GWL_EXSTYLE);
    std::fprintf(out, "topmost=%d\n", (ex_style & WS_EX_TOPMOST) != 0 ? 1 : 0);
    std::fprintf(out, "z=%s\n", z_relation(console, reference_window()));

    HANDLE output = console_output();
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (output != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(output, &info)) {
        std::fprintf(out, "buffer=%d,%d\n", info.dwSize.X, info.dwSize.Y);
        std::fprintf(out, "area=%d,%d,%d,%d\n", info.srWindow.Left, info.srWindow.Top,
                     info.srWindow.Right, info.srWindow.Bottom);
        std::fprintf(out, "cursor=%d,%d\n", info.dwCursorPosition.X, info.dwCursorPosition.Y);
    }
    static wchar_t title[32768];
    title[0] = 0;
    GetConsoleTitleW(title, 32768);
    std::fputs("title=", out);
    put_utf8(out, title);
    std::fputs("\n", out);
    close_report(report);
    return 0;
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

// A plain top-level window that lives until closed, or 60 s at most so a
// failed case can never leave it behind.
int reference() {
    WNDCLASSA window_class;
    std::memset(&window_class, 0, sizeof window_class);
    window_class.lpfnWndProc = reference_proc;
    window_class.hInstance = GetModuleHandleA(NULL);
    window_class.lpszClassName = kReferenceClass;
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&window_class);
    HWND window = CreateWindowExA(0, kReferenceClass, "reference", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  700, 600, 300, 200, NULL, NULL, window_class.hInstance, NULL);
    if (window == NULL) return 2;
    SetTimer(window, 1, 60000, NULL);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}

int wait_reference() {
    for (int i = 0; i < 100; ++i) {
        if (reference_window() != NULL) return 0;
        Sleep(50);
    }
    return 2;
}

int wait_file(const char* path) {
    for (int i = 0; i < 600; ++i) {
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return 0;
        Sleep(50);
    }
    return 2;
}

int close_reference() {
    HWND window = reference_window();
    if (window != NULL) PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}

// Puts the console into a starting state for one case.
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
        // A tall buffer with the visible area scrolled down to row 100. It is
        // also wider than the area, so both scroll bars show before and after
        // a narrower size: when a bar appears, Wine's console re-fits its
        // window and may settle one row off what was asked.
        HANDLE output = console_output();
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!GetConsoleScreenBufferInfo(output, &info)) return 2;
        COORD size = {static_cast<SHORT>(info.dwSize.X + 40), 300};
        SetConsoleScreenBufferSize(output, size);
        const SHORT rows = static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top);
        SMALL_RECT area = {info.srWindow.Left, 100, info.srWindow.Right, static_cast<SHORT>(100 + rows)};
        if (!SetConsoleWindowInfo(output, TRUE, &area)) return 2;
    } else if (std::strcmp(action, "title-japanese") == 0) {
        SetConsoleTitleW(L"\x65e5\x672c \x30bf\x30a4\x30c8\x30eb");  // 日本 タイトル
    } else if (std::strcmp(action, "maximise-reference") == 0) {
        // The control for max: does the window manager answer at all?
        ShowWindow(reference_window(), SW_MAXIMIZE);
        Sleep(300);
        return IsZoomed(reference_window()) ? 0 : 3;
    } else {
        return 2;
    }
    Sleep(200);  // let the window manager settle before the next probe
    return 0;
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

// Runs a command line, leaves the console at once (the child may close it),
// waits for the child and writes its exit status to a file. The window that
// was the console is then watched for up to 5 s: "gone" once it is destroyed.
int launch(const char* status_path, const char* command_line) {
    static char line[32768];
    std::snprintf(line, sizeof line, "%s", command_line);
    HWND console = GetConsoleWindow();
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) return 2;
    FreeConsole();
    const DWORD status = exit_status(process, 30000);
    bool gone = false;
    for (int i = 0; i < 50 && !gone; ++i) {
        gone = !IsWindow(console);
        if (!gone) Sleep(100);
    }
    Report report;
    if (!open_report(report, status_path)) return 2;
    std::fprintf(report.file, "status=%lu\nconsole=%s\n", status, gone ? "gone" : "present");
    close_report(report);
    return 0;
}

// Starts an exe with exactly the given command line, possibly empty, and
// returns its exit status as ours; standard handles are inherited. With no
// exe, the program is found from the command line's first token.
int run_raw(const char* exe, const char* command_line) {
    static char line[32768];
    std::snprintf(line, sizeof line, "%s", command_line);
    if (exe != NULL && exe[0] == '\0') exe = NULL;
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(exe, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) return 200;
    return static_cast<int>(exit_status(process, INFINITE));
}

// Starts EXE, however long its path, with the command line "EXE" ARGS, and
// returns its exit status as ours. cmd and CreateProcess under Wine refuse an
// application path longer than MAX_PATH, so the loader is handed the file's
// short (8.3) alias; the command line the program reads keeps the full path.
int run_quoted(const char* exe, const char* args) {
    static wchar_t application[32768];
    static wchar_t line[32768];
    static wchar_t wide_exe[32768];
    static wchar_t wide_args[32768];
    MultiByteToWideChar(CP_ACP, 0, exe, -1, wide_exe, 32768);
    MultiByteToWideChar(CP_ACP, 0, args, -1, wide_args, 32768);
    if (GetShortPathNameW(wide_exe, application, 32768) == 0) return 202;
    std::swprintf(line, 32768, L"\"%ls\" %ls", wide_exe, wide_args);
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(application, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        std::fprintf(stderr, "CreateProcessW failed: %lu\n", GetLastError());
        return 200;
    }
    return static_cast<int>(exit_status(process, INFINITE));
}

// Reads the version record back through the Win32 version API.
int version(const char* exe, const char* path) {
    FILE* out = std::fopen(path, "w");
    if (out == NULL) return 2;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
    static char data[65536];
    if (size == 0 || size > sizeof data || !GetFileVersionInfoA(exe, 0, size, data)) {
        std::fputs("record=missing\n", out);
        std::fclose(out);
        return 0;
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
    std::fclose(out);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "probe") == 0) return probe(argv[2]);
    if (argc >= 2 && std::strcmp(argv[1], "reference") == 0) return reference();
    if (argc >= 2 && std::strcmp(argv[1], "wait-reference") == 0) return wait_reference();
    if (argc >= 3 && std::strcmp(argv[1], "wait-file") == 0) return wait_file(argv[2]);
    if (argc >= 2 && std::strcmp(argv[1], "close-reference") == 0) return close_reference();
    if (argc >= 3 && std::strcmp(argv[1], "setup") == 0) return setup(argv[2]);
    if (argc >= 4 && std::strcmp(argv[1], "launch") == 0) return launch(argv[2], argv[3]);
    if (argc >= 4 && std::strcmp(argv[1], "run-raw") == 0) return run_raw(argv[2], argv[3]);
    if (argc >= 4 && std::strcmp(argv[1], "run-quoted") == 0) return run_quoted(argv[2], argv[3]);
    if (argc >= 4 && std::strcmp(argv[1], "version") == 0) return version(argv[2], argv[3]);
    std::fputs("usage: e2e_helper probe|reference|wait-reference|wait-file|close-reference|setup|launch|"
               "run-raw|run-quoted|version ...\n", stderr);
    return 2;
}
