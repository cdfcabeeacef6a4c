// The command-line scanner: one cursor, byte-class predicates, and line-break
// folding in peek_char alone, so no other routine ever looks at CR or LF.
// Every byte test takes unsigned char, so the result never depends on
// whether plain char is signed on the compiler at hand.
#include "cmdline/scanner.h"

namespace {

constexpr unsigned char kCR = 0x0D;
constexpr unsigned char kLF = 0x0A;
constexpr unsigned char kQuote = 0x22;
constexpr unsigned char kComma = 0x2C;

unsigned char byte_at(ScanCursor cursor) { return static_cast<unsigned char>(*cursor); }

bool is_blank(unsigned char b) { return b == ' ' || b == '\t'; }

bool is_digit(unsigned char b) { return b >= '0' && b <= '9'; }

// A separator is a byte that is 32 or less when read as a signed 8-bit value:
// the controls, the space, and every byte from 0x80 up.
bool is_separator(unsigned char b) { return b <= 0x20 || b >= 0x80; }

// What ends a bare program name: the controls and the space only.
bool is_control_or_space(unsigned char b) { return b <= 0x20; }

// Skips blanks and returns the byte that stopped it (0 for an end). Callers
// use that byte rather than peeking again: a second peek at a CR LF pair
// would step onto the next pair and carry the cursor past the line break.
unsigned char skip_blanks(ScanCursor& cursor) {
    unsigned char b;
    while (is_blank(b = static_cast<unsigned char>(peek_char(cursor)))) ++cursor;
    return b;
}

// Appends while room is left for the terminator; bytes beyond it are dropped.
void append(char* buffer, std::size_t capacity, std::size_t& length, unsigned char b) {
    if (length + 1 < capacity) buffer[length] = static_cast<char>(b);
    ++length;
}

void terminate(char* buffer, std::size_t capacity, std::size_t length) {
    if (capacity == 0) return;
    buffer[length < capacity ? length : capacity - 1] = '\0';
}

// The rest of a quoted token, after its opening quote.
void scan_quoted(ScanCursor& cursor, char* buffer, std::size_t capacity, std::size_t& length) {
    for (;;) {
        const unsigned char b = static_cast<unsigned char>(peek_char(cursor));
        if (b == 0) return;
        ++cursor;
        // A quote closes the token only where a separator follows it;
        // elsewhere it is an ordinary byte of the token.
        if (b == kQuote && is_separator(byte_at(cursor))) return;
        append(buffer, capacity, length, b);
    }
}

// The rest of a bare token, after its lead byte: up to and including the
// first separator, or up to an end (not consumed).
void scan_bare(ScanCursor& cursor, char* buffer, std::size_t capacity, std::size_t& length) {
    for (;;) {
        const unsigned char b = static_cast<unsigned char>(peek_char(cursor));
        if (b == 0) return;
        ++cursor;
        if (is_separator(b)) return;
        append(buffer, capacity, length, b);
    }
}

}  // namespace

char peek_char(ScanCursor& cursor) {
    const unsigned char b = byte_at(cursor);
    if (b != kCR && b != kLF) return static_cast<char>(b);
    const unsigned char after = byte_at(cursor + 1);
    if ((b == kCR && after == kLF) || (b == kLF && after == kCR)) ++cursor;
    return 0;
}

void next_token(ScanCursor& caller_cursor, char* buffer, std::size_t capacity) {
    ScanCursor cursor = caller_cursor;
    std::size_t length = 0;
    const unsigned char lead = skip_blanks(cursor);
    if (lead != 0) {
        ++cursor;
        if (lead == kQuote) {
            scan_quoted(cursor, buffer, capacity, length);
        } else {
            append(buffer, capacity, length, lead);
            scan_bare(cursor, buffer, capacity, length);
        }
    }
    terminate(buffer, capacity, length);
    caller_cursor = cursor;
}

// Windows reads a program's own name differently from its arguments, and so
// do we: each double quote opens or closes a quoted part and is no part of
// the name, and outside quotes the name runs to the first blank or control
// byte (there are no backslash escapes). So "C:\My Tools\"tavrik.exe, a
// batch's "%~dp0"tavrik.exe, is one name, and a bare name keeps its bytes
// from 0x80 up, the letters of a path such as C:\Users\José\tavrik.exe
// (é in code page 1252, both bytes of a Shift-JIS character in 932). Like
// any token's, the lead byte belongs to the name whatever it is.
void skip_program_name(ScanCursor& cursor) {
    const unsigned char lead = skip_blanks(cursor);
    if (lead == 0) return;
    ++cursor;
    bool quoted = lead == kQuote;
    for (;;) {
        const unsigned char b = static_cast<unsigned char>(peek_char(cursor));
        if (b == 0) return;  // a line break ends it even inside quotes
        ++cursor;
        if (b == kQuote) {
            quoted = !quoted;
        } else if (!quoted && is_control_or_space(b)) {
            return;  // the blank or control byte after the name is consumed
        }
    }
}

std::uint64_t next_number(ScanCursor& cursor) {
    skip_blanks(cursor);
    std::uint64_t value = 0;
    // Digits are read straight from the text: peek_char has already stopped
    // on any line break, and a CR or LF is not a digit.
    while (is_digit(byte_at(cursor))) {
        value = value * 10 + (byte_at(cursor) - '0');
        ++cursor;
    }
    return value;
}

void skip_separator(ScanCursor& cursor) {
    if (skip_blanks(cursor) == kComma) ++cursor;
}
