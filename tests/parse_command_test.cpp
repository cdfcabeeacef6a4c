// parse_command over whole command lines, program name first: the command
// table's order, case and whole-word matching, the numbers each command reads
// and their 32- and 16-bit truncation, and program names of any length,
// with bytes from 0x80 up, or quoted in part.
#include "cmdline/parse_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

WindowRequest request(RequestKind kind) {
    WindowRequest r{};
    r.kind = kind;
    return r;
}
WindowRequest show(std::int32_t code) {
    WindowRequest r = request(RequestKind::ShowState);
    r.show_code = code;
    return r;
}
WindowRequest move(std::int32_t x, std::int32_t y) {
    WindowRequest r = request(RequestKind::Move);
    r.x = x;
    r.y = y;
    return r;
}
WindowRequest zorder(std::intptr_t anchor) {
    WindowRequest r = request(RequestKind::ZOrder);
    r.insert_after = anchor;
    return r;
}
WindowRequest cells(RequestKind kind, std::int16_t width, std::int16_t height) {
    WindowRequest r = request(kind);
    r.width = width;
    r.height = height;
    return r;
}

std::string describe(const WindowRequest& r) {
    return "kind " + std::to_string(static_cast<int>(r.kind)) + " show " +
           std::to_string(r.show_code) + " x " + std::to_string(r.x) + " y " +
           std::to_string(r.y) + " after " + std::to_string(r.insert_after) + " w " +
           std::to_string(r.width) + " h " + std::to_string(r.height);
}

struct LineCase {
    std::string line;
    WindowRequest expected;
};

void expect_requests(const LineCase* begin, const LineCase* end) {
    for (const LineCase* c = begin; c != end; ++c) {
        EXPECT_EQ(describe(parse_command(c->line.c_str())), describe(c->expected))
            << "command line: " << testing::PrintToString(c->line);
    }
}

TEST(ParseCommand, MatchesEachKeywordToItsRequest) {
    const LineCase cases[] = {
        {"tavrik min", show(2)},
        {"tavrik max", show(3)},
        {"tavrik hide", show(0)},
        {"tavrik restore", show(1)},
        {"tavrik noactive", show(4)},
        {"tavrik close", request(RequestKind::Close)},
        {"tavrik move 100,50", move(100, 50)},
        {"tavrik buffer 120,3000", cells(RequestKind::BufferSize, 120, 3000)},
        {"tavrik size 80,25", cells(RequestKind::WindowSize, 80, 25)},
        {"tavrik bottom", zorder(1)},
        {"tavrik top", zorder(0)},
        {"tavrik topmost", zorder(-1)},
    };
    expect_requests(std::begin(cases), std::end(cases));
}

TEST(ParseCommand, MatchesWholeCaseSensitiveWordsOnly) {
    const LineCase cases[] = {
        {"tavrik", request(RequestKind::None)},
        {"", request(RequestKind::None)},
        {"tavrik MIN", request(RequestKind::None)},
        {"tavrik mi", request(RequestKind::None)},
        {"tavrik mini", request(RequestKind::None)},
        {"tavrik topmos", request(RequestKind::None)},
        {"tavrik hide,", request(RequestKind::None)},        // the comma is part of the word
        {"tavrik \"top\"most", request(RequestKind::None)},  // one token: top"most
        {"tavrik \"min\"", show(2)},
        {"tavrik min extra", show(2)},
        {"tavrik top most", zorder(0)},                       // the second word is ignored
        {"\"C:\\Program Files\\tavrik.exe\" hide", show(0)},
        {"tavrik\tmin", show(2)},
        {"tavrik min\x85", show(2)},                          // 0x85 ends the word
    };
    expect_requests(std::begin(cases), std::end(cases));
}

TEST(ParseCommand, ReadsTwoNumbersSeparatedByBlanksAndOneComma) {
    const LineCase cases[] = {
        {"t move 10,20", move(10, 20)},
        {"t move 10 20", move(10, 20)},
        {"t move 10 , 20", move(10, 20)},
        {"t move 10\t,\t20", move(10, 20)},
        {"t move 10", move(10, 0)},
        {"t move", move(0, 0)},
        {"t move 10,,20", move(10, 0)},
        {"t move -5,7", move(0, 0)},
        {"t move \"1,2\"", move(0, 0)},
        {"t move 1,2 3,4", move(1, 2)},
        {"t buffer 65536,5", cells(RequestKind::BufferSize, 0, 5)},
        {"t buffer 65535,32768", cells(RequestKind::BufferSize, -1, -32768)},
        {"t size 131152,32767", cells(RequestKind::WindowSize, 80, 32767)},
        {"t size 80", cells(RequestKind::WindowSize, 80, 0)},
        {"t move 2147483647,2147483648", move(2147483647, -2147483647 - 1)},
        {"t move 4294967295,4294967396", move(-1, 100)},
        {"t move 18446744073709551617,0", move(1, 0)},  // wraps at 2^64 first
        // Typed with the IME on, in code page 932: a full-width digit is no
        // digit (0), and a full-width comma or blank ends the reading.
        {"t move \x82\x50\x82\x4f\x82\x4f,\x82\x54\x82\x4f", move(0, 0)},  // move １００,５０
        {"t size 80\x81\x43" "25", cells(RequestKind::WindowSize, 80, 0)},     // size 80，25
        {"t move 100\x81\x40" "50", move(100, 0)},                             // move 100　50
        {"t move 1\xef\xbc\x90,2", move(1, 0)},                                 // move 1０,2 in UTF-8
    };
    expect_requests(std::begin(cases), std::end(cases));
}

TEST(ParseCommand, StopsAtTheFirstLineBreak) {
    const LineCase cases[] = {
        {"tavrik\r\nmin", request(RequestKind::None)},
        {"tavrik\nmin", request(RequestKind::None)},
        {"tavrik min\r\n", show(2)},
        {"tavrik move 10\r\n,20", move(10, 0)},
        {"tavrik move 10,\n20", move(10, 0)},
        {"tavrik size\r\n80,25", cells(RequestKind::WindowSize, 0, 0)},
    };
    expect_requests(std::begin(cases), std::end(cases));
}

TEST(ParseCommand, ProgramNameOfAnyLengthIsSkippedWhole) {
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 300; ++length) lengths.push_back(length);
    for (std::size_t length : {1000u, 4096u, 32767u, 65536u, 70000u}) lengths.push_back(length);
    for (std::size_t length : lengths) {
        const std::string path(length, 'd');
        const std::string quoted = "\"" + path + "\" move 1,2";
        EXPECT_EQ(describe(parse_command(quoted.c_str())), describe(move(1, 2)))
            << "quoted program name of " << length << " bytes";
        if (length == 0) continue;  // an empty bare name would make "move" the program name
        const std::string bare = path + " move 1,2";
        EXPECT_EQ(describe(parse_command(bare.c_str())), describe(move(1, 2)))
            << "bare program name of " << length << " bytes";
    }
}

TEST(ParseCommand, ProgramNameIsReadAsWindowsReadsIt) {
    const LineCase cases[] = {
        // %~dp0tavrik.exe unquoted, from a folder whose name leaves ASCII.
        {"C:\\Jos\xe9\\tavrik.exe move 1,2", move(1, 2)},                    // cp1252 é
        {"C:\\Users\\\x83\x63\x81\x5b\\tavrik.exe move 1,2", move(1, 2)},  // Shift-JIS pairs
        {"C:\\bin\\tavrik\xe9 move 1,2", move(1, 2)},                       // high byte right before the blank
        {"\"C:\\Jos\xe9\\tavrik.exe\" move 1,2", move(1, 2)},
        {"C:\\Jos\xe9\\tavrik.exe\x01min", show(2)},                       // a control byte ends it too
        // Only the folder quoted: "%~dp0"tavrik.exe, and its relatives.
        {"\"C:\\My Tools\\\"tavrik.exe move 120,60", move(120, 60)},
        {"\"Z:\\work\\My Tools\"\\tavrik.exe move 120,60", move(120, 60)},
        {"Z:\\work\\\"My Tools\"\\tavrik.exe move 120,60", move(120, 60)},
        {"\"a\"b\" min", request(RequestKind::None)},             // the third quote never closes
        {"\"C:\\x y\\t.exe\"min", request(RequestKind::None)},  // min is part of the name
    };
    expect_requests(std::begin(cases), std::end(cases));
}

TEST(ParseCommand, CommandWordTooLongForTheBufferMatchesNothing) {
    // A cut word must not match a keyword it merely begins with.
    const std::string word = "min" + std::string(kTokenCapacity * 2, 'x');
    EXPECT_EQ(parse_command(("t " + word).c_str()).kind, RequestKind::None);
}

}  // namespace
