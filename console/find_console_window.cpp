// The console window locator. The title is saved and restored in UTF-16: the
// ANSI calls would turn every character outside the ANSI code page into '?',
// and a user's title is data we must hand back unchanged. The tag itself is
// plain ASCII, so it is set and searched for with the ANSI calls.
#include "console/find_console_window.h"

#include <cstdint>

namespace {

// Two runs in one console (start /b beside a foreground run) must not
// overlap here: one that saved the title while the other's tag was showing
// would put that tag back for good, and a stale tag is a target for any
// later run whose thread id matches. The lock is named after the console's
// window handle, so runs in other consoles never wait for it; the window is
// still found by its title. Without a lock within the wait, go on anyway.
HANDLE take_title_lock() {
    char name[kTitleLockNameCapacity];
    const auto console = reinterpret_cast<std::uintptr_t>(GetConsoleWindow());
    wsprintfA(name, "Local\\tavrik-title-%lu", static_cast<unsigned long>(console & 0xFFFFFFFFu));
    HANDLE lock = CreateMutexA(NULL, FALSE, name);
    if (lock == NULL) return NULL;
    const DWORD waited = WaitForSingleObject(lock, kTitleLockWaitMs);
    // WAIT_ABANDONED: the run that held it was killed; the lock is ours now.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return lock;
    CloseHandle(lock);
    return NULL;
}

void release_title_lock(HANDLE lock) {
    if (lock == NULL) return;
    ReleaseMutex(lock);
    CloseHandle(lock);
}

}  // namespace

HWND find_console_window() {
    HANDLE lock = take_title_lock();
    WCHAR saved_title[kSavedTitleUnits];
    // A failed query must leave an empty title to restore, never stack garbage.
    saved_title[0] = 0;
    GetConsoleTitleW(saved_title, kSavedTitleUnits);
    saved_title[kSavedTitleUnits - 1] = 0;

    char tag[kTitleTagCapacity];
    // %d: the thread id is printed as a signed 32-bit number, as FindWindowA
    // will see it in the caption.
    wsprintfA(tag, "tavrik%d", static_cast<int>(GetCurrentThreadId()));
    SetConsoleTitleA(tag);

    HWND window = NULL;
    for (int tries = 0; tries < kSearchTries; ++tries) {
        window = FindWindowA(NULL, tag);
        if (window != NULL) break;
        Sleep(kSearchPauseMs);
    }

    SetConsoleTitleW(saved_title);
    release_title_lock(lock);
    return window;
}
