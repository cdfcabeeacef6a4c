// parse_command on input no one types but any program can pass: every byte
// value in every position of a command word, and a megabyte-long number.
// The expectations come from the byte classes alone: blanks are skipped
// before a word, a separator (0x00-0x20 or 0x80-0xFF) ends it, and a double
// quote opens a quoted word.
#include "cmdline/parse_command.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool separator(unsigned b) { return b <= 0x20 || b >= 0x80; }

std::string with_byte(const char* before, unsigned b, const char* after) {
    std::string line = "tavrik ";
    line += before;
    line += static_cast<char>(b);
    line += after;
    return line;
}

TEST(HostileInput, EveryByteBeforeACommandWord) {
    for (unsigned b = 0; b <= 0xFF; ++b) {
        // Blanks are skipped and a quote opens a quoted "min" (closed by the
        // text's end); any other byte, control and high bytes included, leads
        // a longer word, and NUL, CR or LF end the line before the word.
        const bool min = b == ' ' || b == '\t' || b == '"';
        const std::string line = with_byte("", b, "min");
        EXPECT_EQ(parse_command(line.c_str()).kind, min ? RequestKind::ShowState : RequestKind::None)
            << "byte 0x" << std::hex << b;
    }
}

TEST(HostileInput, EveryByteInsideACommandWord) {
    for (unsigned b = 0; b <= 0xFF; ++b) {
        // top?most is "top" when the byte ends the word, otherwise no command.
        const WindowRequest request = parse_command(with_byte("top", b, "most").c_str());
        EXPECT_EQ(request.kind, separator(b) ? RequestKind::ZOrder : RequestKind::None)
            << "byte 0x" << std::hex << b;
        if (separator(b)) {
            EXPECT_EQ(request.insert_after, 0) << "byte 0x" << std::hex << b;
        }
    }
}

TEST(HostileInput, EveryByteAfterACommandWord) {
    for (unsigned b = 0; b <= 0xFF; ++b) {
        const std::string line = with_byte("min", b, "");
        EXPECT_EQ(parse_command(line.c_str()).kind, separator(b) ? RequestKind::ShowState : RequestKind::None)
            << "byte 0x" << std::hex << b;
    }
}

TEST(HostileInput, MegabyteNumbersKeepTheirLowBits) {
    const std::string digits(1 << 20, '7');
    // 777...7 modulo 2^32 and 2^16, computed in those widths.
    std::uint32_t low32 = 0;
    for (char c : digits) low32 = low32 * 10u + static_cast<std::uint32_t>(c - '0');
    const auto low16 = static_cast<std::int16_t>(low32 & 0xFFFF);

    const WindowRequest move = parse_command(("tavrik move " + digits + "," + digits).c_str());
    EXPECT_EQ(move.kind, RequestKind::Move);
    EXPECT_EQ(move.x, static_cast<std::int32_t>(low32));
    EXPECT_EQ(move.y, static_cast<std::int32_t>(low32));

    const WindowRequest buffer = parse_command(("tavrik buffer " + digits + " 9").c_str());
    EXPECT_EQ(buffer.kind, RequestKind::BufferSize);
    EXPECT_EQ(buffer.width, low16);
    EXPECT_EQ(buffer.height, 9);

    const WindowRequest program = parse_command((digits + " size 3,4").c_str());
    EXPECT_EQ(program.kind, RequestKind::WindowSize);
    EXPECT_EQ(program.width, 3);
    EXPECT_EQ(program.height, 4);
}

}  // namespace
