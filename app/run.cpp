// Program flow: standard-output handle first, then the console window, and
// only then the command line; a Ctrl+C during the window search ends the run
// there. Each request is one platform call (two for a visible-area size);
// their results are ignored on purpose, since scripts rely on exit status 0
// whenever the window was found.
#include "app/run.h"

#include "cmdline/parse_command.h"
#include "console/find_console_window.h"

namespace {

// LF line ends, no CR: the bytes are written raw and must read the same
// whether or not the console translates.
const char kUsageText[] =
    "tavrik (C) 2026 tavrik project\n"
    "Usage: tavrik [command]\n"
    "\n"
    "Command:\n"
    "  Show control  - min/max/hide/restore/noactive\n"
    "  Move position - move x,y\n"
    "  Buffer size   - buffer width,height\n"
    "  Window size   - size width,height\n"
    "  Z order       - bottom/top/topmost\n"
    "  Close window  - close\n";

// No line end after it, so a caller can capture it as one exact string.
const char kFaultMessage[] = "Console window getting fault.";

constexpr UINT kSwpMove = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
constexpr UINT kSwpZOrder = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;

DWORD text_length(const char* text) {
    DWORD length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

// Keeps the visible area's top-left cell and makes it width x height cells.
// Without the current rectangle there is nothing to keep, so nothing is done.
void set_visible_area(HANDLE output, std::int16_t width, std::int16_t height) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(output, &info)) return;
    SMALL_RECT area = info.srWindow;
    // Wraps in 16 bits, as the cell coordinates do.
    area.Right = static_cast<SHORT>(static_cast<std::uint16_t>(area.Left + width - 1));
    area.Bottom = static_cast<SHORT>(static_cast<std::uint16_t>(area.Top + height - 1));
    SetConsoleWindowInfo(output, TRUE, &area);
}

// Writes the text's bytes, without the NUL, to the current standard output in
// one WriteFile call. No line end is added and nothing is translated.
void write_stdout(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, text_length(text), &written, NULL);
}

}  // namespace

void execute_request(HWND window, HANDLE output, const WindowRequest& request) {
    switch (request.kind) {
    case RequestKind::ShowState:
        ShowWindow(window, request.show_code);
        break;
    case RequestKind::Close:
        // Posted, not sent: closing the console ends this process too.
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case RequestKind::Move:
        SetWindowPos(window, NULL, request.x, request.y, 0, 0, kSwpMove);
        break;
    case RequestKind::ZOrder:
        SetWindowPos(window, reinterpret_cast<HWND>(request.insert_after), 0, 0, 0, 0, kSwpZOrder);
        break;
    case RequestKind::BufferSize: {
        COORD size;
        size.X = request.width;
        size.Y = request.height;
        SetConsoleScreenBufferSize(output, size);
        break;
    }
    case RequestKind::WindowSize:
        set_visible_area(output, request.width, request.height);
        break;
    case RequestKind::None:
        break;
    }
}

int run() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const ConsoleWindowSearch search = find_console_window();
    // Interrupted: end as Ctrl+C ends any console program, silently and
    // with its status, so a caller sees that the run was stopped.
    if (search.interrupted) return static_cast<int>(STATUS_CONTROL_C_EXIT);
    HWND window = search.window;
    if (window == NULL) {
        write_stdout(kFaultMessage);
        return 1;
    }
    const WindowRequest request = parse_command(GetCommandLineA());
    if (request.kind == RequestKind::None) {
        write_stdout(kUsageText);
    } else {
        execute_request(window, output, request);
    }
    return 0;
}
