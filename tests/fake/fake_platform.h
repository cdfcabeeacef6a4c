// The recording fake behind tests/fake/windows.h: each Win32 call is logged as
// one readable line with its arguments (strings copied at call time), and the
// results come from a script that each test sets up.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct FakePlatform {
    // Script.
    std::intptr_t std_output = 77;
    std::intptr_t console_window = 1001;  // 0 = the console has none
    std::intptr_t root_owner = 0;         // the window that owns it; 0 = none
    // The window whose caption shows the console's title: the console's own,
    // or its owner's in Windows Terminal; 0 = none (someone holds it).
    std::intptr_t titled_window = 1001;
    int find_on_try = 1;  // the search that finds that caption; 0 = never
    // Windows of other consoles above it in the z-order that show whatever
    // tag is searched for, and whether they keep changing places.
    std::vector<std::intptr_t> foreign_tagged;
    bool z_order_churns = false;
    DWORD thread_id = 4242;
    std::u16string console_title = u"Command Prompt";
    bool title_query_fails = false;
    std::string command_line = "tavrik";
    CONSOLE_SCREEN_BUFFER_INFO buffer_info{};
    bool buffer_query_fails = false;
    std::intptr_t title_lock = 88;     // the mutex CreateMutexA hands out; 0 = it fails
    DWORD lock_wait = WAIT_OBJECT_0;   // what waiting for it returns
    // What happens elsewhere while the tool sleeps, given the Sleep call's
    // number (1 for the first): another program retitles the console, the
    // user presses Ctrl+C.
    std::function<void(int)> during_sleep;

    // Record.
    std::vector<std::string> calls;
    std::string written;  // every byte passed to WriteFile, in order
    int find_calls = 0;  // searches: FindWindowExW from the top of the z-order
    int sleep_calls = 0;
    PHANDLER_ROUTINE ctrl_handler = nullptr;  // the handler installed now, if any
};

// The one fake, reset to its defaults by reset_fake().
FakePlatform& fake();
void reset_fake();

// A console control event as the system delivers it: to the installed
// handler, on the tool's behalf. FALSE when none handled it, so the process
// would have ended there and then.
BOOL deliver_ctrl_event(DWORD event);

std::string utf8(const std::u16string& text);
