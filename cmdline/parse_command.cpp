// The command table and parse_command. The table is data, searched in order,
// first exact (case-sensitive, whole-word) match wins. Numbers are kept to the
// width of the field they land in: 32 bits for coordinates, 16 for cells.
#include "cmdline/parse_command.h"

#include <cstring>

#include "cmdline/scanner.h"

namespace {

// How a row takes its two numbers, if it takes any.
enum class Numbers { None, Position, Cells };

struct CommandRow {
    const char* keyword;
    RequestKind kind;
    std::int32_t show_code;
    std::intptr_t insert_after;
    Numbers numbers;
};

// Show codes: SW_SHOWMINIMIZED, not SW_MINIMIZE, keeps the window's
// activation; SW_SHOWNORMAL, not SW_RESTORE, also brings back a hidden window;
// SW_SHOWNOACTIVATE, not SW_SHOWNA, restores a minimised window too.
// Anchors: HWND_TOP 0, HWND_BOTTOM 1, HWND_TOPMOST -1.
static const CommandRow kCommands[] = {
    {"min", RequestKind::ShowState, 2, 0, Numbers::None},
    {"max", RequestKind::ShowState, 3, 0, Numbers::None},
    {"hide", RequestKind::ShowState, 0, 0, Numbers::None},
    {"restore", RequestKind::ShowState, 1, 0, Numbers::None},
    {"noactive", RequestKind::ShowState, 4, 0, Numbers::None},
    {"close", RequestKind::Close, 0, 0, Numbers::None},
    {"move", RequestKind::Move, 0, 0, Numbers::Position},
    {"buffer", RequestKind::BufferSize, 0, 0, Numbers::Cells},
    {"size", RequestKind::WindowSize, 0, 0, Numbers::Cells},
    {"bottom", RequestKind::ZOrder, 0, 1, Numbers::None},
    {"top", RequestKind::ZOrder, 0, 0, Numbers::None},
    {"topmost", RequestKind::ZOrder, 0, -1, Numbers::None},
};

const CommandRow* find_command(const char* word) {
    for (const CommandRow& row : kCommands) {
        if (std::strcmp(word, row.keyword) == 0) return &row;
    }
    return nullptr;
}

// The low 32 / 16 bits, read as two's-complement signed values.
std::int32_t low32(std::uint64_t n) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(n)); }
std::int16_t low16(std::uint64_t n) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(n)); }

}  // namespace

WindowRequest parse_command(const char* command_line) {
    WindowRequest request{};
    request.kind = RequestKind::None;

    ScanCursor cursor = command_line;
    char token[kTokenCapacity];
    skip_program_name(cursor);
    next_token(cursor, token, sizeof token);  // the command word

    const CommandRow* row = find_command(token);
    if (row == nullptr) return request;

    request.kind = row->kind;
    request.show_code = row->show_code;
    request.insert_after = row->insert_after;
    if (row->numbers == Numbers::None) return request;

    const std::uint64_t first = next_number(cursor);
    skip_separator(cursor);
    const std::uint64_t second = next_number(cursor);
    if (row->numbers == Numbers::Position) {
        request.x = low32(first);
        request.y = low32(second);
    } else {
        request.width = low16(first);
        request.height = low16(second);
    }
    return request;
}
