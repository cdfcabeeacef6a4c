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

struct ConsoleWindowSearch {
    HWND window;       // NULL: the console has no window, or it did not show within the tries
    bool interrupted;  // Ctrl+C or Ctrl+Break came while the title was borrowed
};

ConsoleWindowSearch find_console_window();
