// libFuzzer target for everything that reads the command line. Besides "no
// crash" under ASan and UBSan it checks properties of the result against a
// small reference reading of the same bytes, written independently below:
//  - the request equals the reference's (kind and every value, numbers
//    taken modulo 2^32 / 2^16 in their own arithmetic);
//  - the text cut at its first line break gives the same request;
//  - a one-word command followed by a blank and any text is that command;
//  - no scanner operation moves the cursor past the first end (NUL, CR, LF,
//    or the second byte of a CR LF / LF CR pair), and next_token leaves a
//    NUL-terminated token within the capacity it was given (an exact-size
//    heap buffer, so ASan sees any overrun).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cmdline/parse_command.h"
#include "cmdline/scanner.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}
#define CHECK(condition) \
    do {                 \
        if (!(condition)) fail(#condition); \
    } while (0)

bool same(const WindowRequest& a, const WindowRequest& b) {
    return a.kind == b.kind && a.show_code == b.show_code && a.x == b.x && a.y == b.y &&
           a.insert_after == b.insert_after && a.width == b.width && a.height == b.height;
}

// ---- the reference reading: indices into a string with no line break ------

std::string cut_at_first_break(const std::string& text) {
    return text.substr(0, text.find_first_of(std::string("\r\n", 2)));
}

struct Reference {
    std::string text;  // already cut at the first line break
    std::size_t at = 0;

    unsigned char byte(std::size_t i) const {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    }
    static bool separator(unsigned char b) { return static_cast<signed char>(b) <= 32; }
    void blanks() {
        while (byte(at) == ' ' || byte(at) == '\t') ++at;
    }
    std::string token() {
        blanks();
        std::string out;
        if (byte(at) == 0) return out;
        const unsigned char lead = byte(at++);
        if (lead == '"') {
            while (byte(at) != 0) {
                const unsigned char b = byte(at++);
                if (b == '"' && separator(byte(at))) break;
                out += static_cast<char>(b);
            }
        } else {
            out += static_cast<char>(lead);
            while (byte(at) != 0) {
                const unsigned char b = byte(at++);
                if (separator(b)) break;
                out += static_cast<char>(b);
            }
        }
        return out;
    }
    // The program name, as CreateProcess reads it: quotes switch a quoted
    // part on and off, and outside one the name ends at a byte of 32 or
    // less, which goes with it. The first byte is the name's whatever it is.
    void program_name() {
        blanks();
        bool inside = false;
        for (std::size_t i = at; i < text.size(); ++i) {
            const unsigned char b = byte(i);
            if (b == '"') inside = !inside;
            if (i > at && !inside && b <= 32) {
                at = i + 1;
                return;
            }
        }
        at = text.size();
    }
    std::uint32_t number() {
        blanks();
        std::uint32_t value = 0;  // the low 32 bits are all any field keeps
        while (byte(at) >= '0' && byte(at) <= '9') value = value * 10u + (byte(at++) - '0');
        return value;
    }
    void comma() {
        blanks();
        if (byte(at) == ',') ++at;
    }
};

WindowRequest reference_request(const std::string& line) {
    Reference r{cut_at_first_break(line)};
    r.program_name();
    const std::string word = r.token();
    WindowRequest out{};
    out.kind = RequestKind::None;
    struct Show { const char* word; int code; } shows[] = {
        {"min", 2}, {"max", 3}, {"hide", 0}, {"restore", 1}, {"noactive", 4}};
    for (const Show& s : shows) {
        if (word == s.word) {
            out.kind = RequestKind::ShowState;
            out.show_code = s.code;
        }
    }
    if (word == "close") out.kind = RequestKind::Close;
    if (word == "bottom" || word == "top" || word == "topmost") {
        out.kind = RequestKind::ZOrder;
        out.insert_after = word == "bottom" ? 1 : word == "top" ? 0 : -1;
    }
    if (word == "move" || word == "buffer" || word == "size") {
        const std::uint32_t first = r.number();
        r.comma();
        const std::uint32_t second = r.number();
        if (word == "move") {
            out.kind = RequestKind::Move;
            out.x = static_cast<std::int32_t>(first);
            out.y = static_cast<std::int32_t>(second);
        } else {
            out.kind = word == "buffer" ? RequestKind::BufferSize : RequestKind::WindowSize;
            out.width = static_cast<std::int16_t>(first & 0xFFFF);
            out.height = static_cast<std::int16_t>(second & 0xFFFF);
        }
    }
    return out;
}

// ---- scanner bounds --------------------------------------------------------

// How far any one scanner operation may leave the cursor from the start:
// onto the first end byte, or onto the second byte of a CR LF / LF CR pair.
std::size_t furthest_cursor(const char* text) {
    std::size_t i = 0;
    while (text[i] != '\0' && text[i] != '\r' && text[i] != '\n') ++i;
    if ((text[i] == '\r' && text[i + 1] == '\n') || (text[i] == '\n' && text[i + 1] == '\r')) ++i;
    return i;
}

void check_scanner(const char* text, std::size_t capacity, unsigned start) {
    const std::size_t limit = furthest_cursor(text);
    const char* from = text + (start <= limit ? start : limit);
    const std::size_t from_limit = furthest_cursor(from);

    ScanCursor cursor = from;
    peek_char(cursor);
    CHECK(static_cast<std::size_t>(cursor - from) <= from_limit);

    cursor = from;
    next_number(cursor);
    CHECK(static_cast<std::size_t>(cursor - from) <= from_limit);

    cursor = from;
    skip_separator(cursor);
    CHECK(static_cast<std::size_t>(cursor - from) <= from_limit);

    char* token = static_cast<char*>(std::malloc(capacity == 0 ? 1 : capacity));
    cursor = from;
    next_token(cursor, token, capacity);
    CHECK(static_cast<std::size_t>(cursor - from) <= from_limit);
    if (capacity > 0) CHECK(std::memchr(token, '\0', capacity) != nullptr);
    std::free(token);
}

const char* const kOneWordCommands[] = {"min",   "max",    "hide", "restore", "noactive",
                                        "close", "bottom", "top",  "topmost"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Two control bytes steer the checks; the rest is the command line.
    if (size < 2) return 0;
    const std::size_t capacity = data[0] % 40;
    const unsigned start = data[1];
    const std::string line = std::string(reinterpret_cast<const char*>(data + 2), size - 2).c_str();

    const WindowRequest request = parse_command(line.c_str());
    CHECK(same(request, reference_request(line)));
    CHECK(same(request, parse_command(cut_at_first_break(line).c_str())));

    const char* word = kOneWordCommands[data[0] % (sizeof kOneWordCommands / sizeof *kOneWordCommands)];
    const std::string alone = std::string("tavrik ") + word;
    CHECK(same(parse_command((alone + " " + line).c_str()), parse_command(alone.c_str())));

    check_scanner(line.c_str(), capacity, start);
    return 0;
}
