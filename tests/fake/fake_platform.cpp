// Recording implementations of the Win32 functions the tool calls. Handles
// and numbers are logged in signed decimal so HWND_TOPMOST reads as -1.
// FindWindowExW only finds the console's window once the console's title is
// the name searched for, so a search made under the wrong title fails as it
// would.
#include "fake/fake_platform.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

FakePlatform the_fake;

std::string num(std::intptr_t value) { return std::to_string(value); }
std::string handle(const void* h) { return num(reinterpret_cast<std::intptr_t>(h)); }
std::string quoted(const std::string& text) { return "\"" + text + "\""; }

void log(std::string line) { the_fake.calls.push_back(std::move(line)); }

}  // namespace

FakePlatform& fake() { return the_fake; }
void reset_fake() { the_fake = FakePlatform{}; }

BOOL deliver_ctrl_event(DWORD event) {
    return the_fake.ctrl_handler != nullptr && the_fake.ctrl_handler(event);
}

std::string utf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
    log("GetStdHandle(" + num(static_cast<std::int32_t>(nStdHandle)) + ")");
    return reinterpret_cast<HANDLE>(the_fake.std_output);
}

LPSTR WINAPI GetCommandLineA(void) {
    log("GetCommandLineA()");
    return the_fake.command_line.data();
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    log("WriteFile(" + handle(hFile) + ", " + num(nNumberOfBytesToWrite) + " bytes" +
        (lpOverlapped == nullptr ? "" : ", overlapped") + ")");
    the_fake.written.append(static_cast<const char*>(lpBuffer), nNumberOfBytesToWrite);
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
    return TRUE;
}

DWORD WINAPI GetConsoleTitleW(LPWSTR lpConsoleTitle, DWORD nSize) {
    log("GetConsoleTitleW(" + num(nSize) + ")");
    if (the_fake.title_query_fails || nSize == 0) return 0;  // the buffer is left as it was
    const std::u16string& title = the_fake.console_title;
    const std::size_t units = title.size() < nSize ? title.size() : nSize - 1;
    title.copy(lpConsoleTitle, units);
    lpConsoleTitle[units] = 0;
    return static_cast<DWORD>(units);
}

BOOL WINAPI SetConsoleTitleW(LPCWSTR lpConsoleTitle) {
    the_fake.console_title = lpConsoleTitle;
    log("SetConsoleTitleW(" + quoted(utf8(the_fake.console_title)) + ")");
    return TRUE;
}

BOOL WINAPI GetConsoleScreenBufferInfo(HANDLE hConsoleOutput,
                                       PCONSOLE_SCREEN_BUFFER_INFO lpConsoleScreenBufferInfo) {
    log("GetConsoleScreenBufferInfo(" + handle(hConsoleOutput) + ")");
    if (the_fake.buffer_query_fails) return FALSE;
    *lpConsoleScreenBufferInfo = the_fake.buffer_info;
    return TRUE;
}

BOOL WINAPI SetConsoleScreenBufferSize(HANDLE hConsoleOutput, COORD dwSize) {
    log("SetConsoleScreenBufferSize(" + handle(hConsoleOutput) + ", " + num(dwSize.X) + ", " +
        num(dwSize.Y) + ")");
    return TRUE;
}

BOOL WINAPI SetConsoleWindowInfo(HANDLE hConsoleOutput, BOOL bAbsolute,
                                 const SMALL_RECT* lpConsoleWindow) {
    log("SetConsoleWindowInfo(" + handle(hConsoleOutput) + ", " + num(bAbsolute) + ", " +
        num(lpConsoleWindow->Left) + ", " + num(lpConsoleWindow->Top) + ", " +
        num(lpConsoleWindow->Right) + ", " + num(lpConsoleWindow->Bottom) + ")");
    return TRUE;
}

DWORD WINAPI GetCurrentThreadId(void) {
    log("GetCurrentThreadId()");
    return the_fake.thread_id;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    log("Sleep(" + num(dwMilliseconds) + ")");
    ++the_fake.sleep_calls;
    if (the_fake.during_sleep) the_fake.during_sleep(the_fake.sleep_calls);
}

HWND WINAPI GetConsoleWindow(void) {
    log("GetConsoleWindow()");
    return reinterpret_cast<HWND>(the_fake.console_window);
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName) {
    log("CreateMutexA(" + std::string(lpMutexAttributes == nullptr ? "NULL" : "attributes") + ", " +
        num(bInitialOwner) + ", " + quoted(lpName) + ")");
    return reinterpret_cast<HANDLE>(the_fake.title_lock);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    log("WaitForSingleObject(" + handle(hHandle) + ", " + num(dwMilliseconds) + ")");
    return the_fake.lock_wait;
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    log("ReleaseMutex(" + handle(hMutex) + ")");
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    log("CloseHandle(" + handle(hObject) + ")");
    return TRUE;
}

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add) {
    log("SetConsoleCtrlHandler(" + std::string(HandlerRoutine == nullptr ? "NULL" : "handler") + ", " +
        num(Add) + ")");
    if (Add) {
        the_fake.ctrl_handler = HandlerRoutine;
    } else if (the_fake.ctrl_handler == HandlerRoutine) {
        the_fake.ctrl_handler = nullptr;
    }
    return TRUE;
}

HWND WINAPI FindWindowExW(HWND hWndParent, HWND hWndChildAfter, LPCWSTR lpszClass, LPCWSTR lpszWindow) {
    const std::u16string name = lpszWindow;
    log("FindWindowExW(" + handle(hWndParent) + ", " + handle(hWndChildAfter) + ", " +
        (lpszClass == nullptr ? std::string("NULL") : quoted(utf8(lpszClass))) + ", " + quoted(utf8(name)) + ")");
    if (hWndChildAfter == nullptr) ++the_fake.find_calls;
    // The top-level windows with that caption, top of the z-order first.
    std::vector<std::intptr_t> shown = the_fake.foreign_tagged;
    const bool appeared = the_fake.find_on_try != 0 && the_fake.find_calls >= the_fake.find_on_try;
    if (the_fake.titled_window != 0 && appeared && name == the_fake.console_title) {
        shown.push_back(the_fake.titled_window);
    }
    auto next = shown.begin();
    // Churning, the windows met come round again: each step meets the first.
    if (hWndChildAfter != nullptr && !the_fake.z_order_churns) {
        next = std::find(shown.begin(), shown.end(), reinterpret_cast<std::intptr_t>(hWndChildAfter));
        if (next != shown.end()) ++next;
    }
    return next == shown.end() ? nullptr : reinterpret_cast<HWND>(*next);
}

HWND WINAPI GetAncestor(HWND hwnd, UINT gaFlags) {
    log("GetAncestor(" + handle(hwnd) + ", " + num(gaFlags) + ")");
    const bool owned = reinterpret_cast<std::intptr_t>(hwnd) == the_fake.console_window && the_fake.root_owner != 0;
    return gaFlags == GA_ROOTOWNER && owned ? reinterpret_cast<HWND>(the_fake.root_owner) : hwnd;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    log("ShowWindow(" + handle(hWnd) + ", " + num(nCmdShow) + ")");
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                         UINT uFlags) {
    log("SetWindowPos(" + handle(hWnd) + ", " + handle(hWndInsertAfter) + ", " + num(X) + ", " +
        num(Y) + ", " + num(cx) + ", " + num(cy) + ", " + num(uFlags) + ")");
    return TRUE;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    log("PostMessageA(" + handle(hWnd) + ", " + num(Msg) + ", " +
        num(static_cast<std::intptr_t>(wParam)) + ", " + num(lParam) + ")");
    return TRUE;
}

int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    // USER32's wsprintfA writes at most 1,024 characters and its terminator.
    char out[1025];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(out, sizeof out, format, args);
    va_end(args);
    std::snprintf(buffer, sizeof out, "%s", out);
    log("wsprintfA(" + quoted(format) + ") = " + quoted(out));
    return length < 1024 ? length : 1024;
}

int WINAPIV wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    // The tool's patterns and what they print are ASCII: format narrow, then
    // widen. USER32 writes at most 1,024 characters and its terminator.
    std::string pattern;
    for (const WCHAR* p = format; *p != 0; ++p) pattern += static_cast<char>(*p);
    char out[1025];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(out, sizeof out, pattern.c_str(), args);
    va_end(args);
    std::size_t i = 0;
    for (; out[i] != '\0'; ++i) buffer[i] = static_cast<unsigned char>(out[i]);
    buffer[i] = 0;
    log("wsprintfW(" + quoted(pattern) + ") = " + quoted(out));
    return length < 1024 ? length : 1024;
}
