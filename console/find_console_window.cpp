// The console window locator. Every title call is UTF-16: the ANSI calls
// would turn a user's title outside the ANSI code page into '?', and they
// convert a title set through the console's code page but a caption searched
// for through the process's, so under an EBCDIC console code page (chcp 37)
// even the ASCII tag would never be found.
#include "console/find_console_window.h"

#include "console/title_tag.h"

#include <atomic>
#include <cstdint>
#include <string_view>

namespace {

// Room, in UTF-16 units, for the temporary title "tavrik" and a signed
// 32-bit number, and for reading the title back to see whether it is still
// that.
constexpr unsigned kTitleTagCapacity = 256;
// Searches at most this many times, pausing after each miss: about 3 s in all.
constexpr int kSearchTries = 30;
constexpr DWORD kSearchPauseMs = 100;
// Windows of other consoles may show the same caption; one search steps past
// at most this many. Windows that keep changing places in the z-order could
// otherwise keep a search stepping for ever.
constexpr int kCaptionMatchesPerSearch = 16;

// Runs in one console take turns at borrowing its title. A run waits this
// long for another to hand the title back, longer than one whole search; a
// run still holding it by then is failing its own search, so the waiting
// run gives up without touching the title.
constexpr DWORD kTitleLockWaitMs = 3500;
// Room for "Local\tavrik-title-" and an unsigned 32-bit number.
constexpr unsigned kTitleLockNameCapacity = 64;

// Two runs in one console (start /b beside a foreground run) must not
// overlap here: one that saved the title while the other's tag was showing
// would put that tag back for good, and a stale tag is a target for any
// later run whose thread id matches. The lock is named after the console's
// window handle, so runs in other consoles never wait for it.
struct TitleLock {
    HANDLE mutex;  // NULL when there is none to release
    bool busy;     // another run kept it past the wait
};

TitleLock take_title_lock(HWND console) {
    char name[kTitleLockNameCapacity];
    const auto number = reinterpret_cast<std::uintptr_t>(console);
    wsprintfA(name, "Local\\tavrik-title-%lu", static_cast<unsigned long>(number & 0xFFFFFFFFu));
    HANDLE mutex = CreateMutexA(NULL, FALSE, name);
    // No lock to be had at all is no reason to fail: go on without one.
    if (mutex == NULL) return {NULL, false};
    const DWORD waited = WaitForSingleObject(mutex, kTitleLockWaitMs);
    // WAIT_ABANDONED: the run that held it was killed; the lock is ours now.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return {mutex, false};
    CloseHandle(mutex);
    return {NULL, waited == WAIT_TIMEOUT};
}

void release_title_lock(HANDLE mutex) {
    if (mutex == NULL) return;
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

// Ctrl+C or Ctrl+Break while the title is borrowed would end the process
// with the tag left as the console's title for good. The system calls the
// handler on a thread of its own, so it only notes the event; the search
// stops at its next check and the title goes back first. Close, logoff and
// shutdown keep their default handling (FALSE passes them on).
std::atomic<bool> interrupt_seen{false};

BOOL WINAPI note_interrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    interrupt_seen = true;
    return TRUE;
}

// Another program may retitle the console while we search (a progress
// display, cmd running a command in a background cmd /c): the tag is then
// gone and no later search could find it. Put it back, but only then, so an
// ordinary run makes no title call beyond setting and restoring it.
void keep_tag_shown(const WCHAR* tag) {
    WCHAR title[kTitleTagCapacity];
    title[0] = 0;
    GetConsoleTitleW(title, kTitleTagCapacity);
    title[kTitleTagCapacity - 1] = 0;
    if (std::basic_string_view<WCHAR>(title) != tag) SetConsoleTitleW(tag);
}

// Any top-level window may show the tag: another console left with it by a
// run that was killed mid-search, one a user titled so. Only the console's
// own window is ours, or the window that owns it: Windows Terminal keeps a
// tab's console window hidden, owned by its own window, which shows the
// tab's title. Others are stepped past; NULL when none of ours shows it.
HWND own_window_showing(const WCHAR* tag, HWND console) {
    HWND window = NULL;
    for (int match = 0; match < kCaptionMatchesPerSearch; ++match) {
        window = FindWindowExW(NULL, window, NULL, tag);
        if (window == NULL || window == console) return window;
        if (window == GetAncestor(console, GA_ROOTOWNER)) return window;
    }
    return NULL;
}

HWND search(const WCHAR* tag, HWND console) {
    for (int tries = 1;; ++tries) {
        HWND window = own_window_showing(tag, console);
        if (window != NULL) return window;
        Sleep(kSearchPauseMs);
        if (tries == kSearchTries || interrupt_seen) return NULL;
        keep_tag_shown(tag);
    }
}

}  // namespace

ConsoleWindowSearch find_console_window() {
    // A console with no window (one made with CREATE_NO_WINDOW; a console
    // started hidden has a window, only not shown) has nothing of its own to
    // find, now or later: give up before touching the title.
    const HWND console = GetConsoleWindow();
    if (console == NULL) return {NULL, false};
    const TitleLock lock = take_title_lock(console);
    if (lock.busy) return {NULL, false};

    interrupt_seen = false;
    SetConsoleCtrlHandler(note_interrupt, TRUE);
    WCHAR saved_title[kSavedTitleUnits];
    // A failed query must leave an empty title to restore, never stack garbage.
    saved_title[0] = 0;
    GetConsoleTitleW(saved_title, kSavedTitleUnits);
    saved_title[kSavedTitleUnits - 1] = 0;

    WCHAR tag[kTitleTagCapacity];
    // %d: the thread id is printed as a signed 32-bit number, as the search
    // will see it in the caption.
    wsprintfW(tag, kTagPattern, static_cast<int>(GetCurrentThreadId()));
    SetConsoleTitleW(tag);
    HWND window = search(tag, console);

    SetConsoleTitleW(saved_title);
    release_title_lock(lock.mutex);
    // Removed only now: until the title is back and the lock released, an
    // interrupt is noted, never acted on.
    SetConsoleCtrlHandler(note_interrupt, FALSE);
    const bool interrupted = interrupt_seen;
    return {interrupted ? NULL : window, interrupted};
}
