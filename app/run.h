// The tool's main routine and what it does with the platform once the console
// window is known: carry out one request, or write the usage text or the
// fault message to standard output.
#pragma once

#include <windows.h>

#include "cmdline/window_request.h"

// Exit status: 0 after any command or the usage text, 1 when the console
// window could not be found, STATUS_CONTROL_C_EXIT (0xC000013A) when Ctrl+C
// or Ctrl+Break ended the window search.
int run();

// Carries out one request (None does nothing); platform results are
// ignored, so a refused request is silent.
void execute_request(HWND window, HANDLE output, const WindowRequest& request);
