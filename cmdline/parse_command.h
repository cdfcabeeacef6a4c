// Turns the process's raw command line (program name first) into one
// WindowRequest. Never fails: anything that names no known command gives the
// None request, and missing or malformed numbers read as 0.
#pragma once

#include "cmdline/window_request.h"

// Room for one token and its terminator; longer tokens are cut, not overrun.
constexpr unsigned kTokenCapacity = 272;

WindowRequest parse_command(const char* command_line);
