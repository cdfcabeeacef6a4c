// The console window locator. The title is saved and restored in UTF-16: the
// ANSI calls would turn every character outside the ANSI code page into '?',
// and a user's title is data we must hand back unchanged. The tag itself is
// plain ASCII, so it is set and searched for with the ANSI calls.
#include "console/find_console_window.h"

HWND find_console_window() {
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
    return window;
}
