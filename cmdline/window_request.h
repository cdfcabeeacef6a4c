// The request that command interpretation hands to execution: which operation
// the user asked for and the values that operation needs. Platform-free:
// insert_after holds a window-handle value as an integer so that this header
// needs no Windows header; app/ turns it back into a handle.
#pragma once

#include <cstdint>

// Internal codes: they never leave the process.
enum class RequestKind : std::int32_t {
    None = 0,
    ShowState = 1,
    Close = 2,
    Move = 3,
    ZOrder = 4,
    BufferSize = 5,
    WindowSize = 6,
};

// Fields a kind does not set are zero and are never read for that kind.
struct WindowRequest {
    RequestKind kind;
    std::int32_t show_code;      // ShowWindow code (ShowState)
    std::int32_t x;              // new left edge, screen coordinates (Move)
    std::int32_t y;              // new top edge, screen coordinates (Move)
    std::intptr_t insert_after;  // z-order anchor: 0 top, 1 bottom, -1 topmost (ZOrder)
    std::int16_t width;          // columns (BufferSize, WindowSize)
    std::int16_t height;         // rows (BufferSize, WindowSize)
};
