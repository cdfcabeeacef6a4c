// Finds the top-level window of the console this process is attached to, by
// giving the console a unique temporary title and searching for a window with
// exactly that caption that is the console's own (or, in Windows Terminal, the
// window that holds it). The console's own title is restored before returning,
// no other run in the same console borrows it meanwhile, and Ctrl+C or
// Ctrl+Break while it is borrowed ends the search instead of the process.
#pragma once

#include <windows.h>

// Room for the saved title: 65,536 bytes of UTF-16.
constexpr DWORD kSavedTitleUnits = 32768;
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

struct ConsoleWindowSearch {
    HWND window;       // NULL: the console has no window, or it did not show within the tries
    bool interrupted;  // Ctrl+C or Ctrl+Break came while the title was borrowed
};

ConsoleWindowSearch find_console_window();
