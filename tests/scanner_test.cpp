// The scanner: byte classes, quoting, line-break folding, number wrap and the
// token bound. Each case names its input and where the cursor must end up.
#include "cmdline/scanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct PeekCase {
    const char* text;
    char expected;
    std::ptrdiff_t cursor_after;
};

TEST(Scanner, PeekFoldsEachLineBreakPairIntoOneEnd) {
    const PeekCase cases[] = {
        {"x", 'x', 0},
        {"", 0, 0},
        {"\r\nx", 0, 1},  // onto the LF
        {"\n\rx", 0, 1},  // onto the CR
        {"\rx", 0, 0},    // a lone CR stays put
        {"\nx", 0, 0},
        {"\r\r", 0, 0},   // two CRs are two breaks, not a pair
        {"\n\n", 0, 0},
        {"\x80", '\x80', 0},
    };
    for (const PeekCase& c : cases) {
        ScanCursor cursor = c.text;
        EXPECT_EQ(peek_char(cursor), c.expected) << "text: " << testing::PrintToString(c.text);
        EXPECT_EQ(cursor - c.text, c.cursor_after) << "text: " << testing::PrintToString(c.text);
    }
}

struct TokenCase {
    std::string text;
    std::string token;
    std::ptrdiff_t cursor_after;
};

TEST(Scanner, NextTokenReadsBareAndQuotedTokens) {
    const TokenCase cases[] = {
        {"  abc def", "abc", 6},                  // the blank after the token is consumed
        {"\tabc", "abc", 4},
        {"\"a b\" z", "a b", 5},                  // the blank after the closing quote is not
        {"\"a\"b z\"", "a\"b z", 7},              // an inner quote followed by b is copied
        {"\"\" x", "", 2},
        {"\"", "", 1},
        {"\"abc", "abc", 4},                      // never closed: runs to the end
        {"\"ab\r\ncd\"", "ab", 4},                // ...or to the line break
        {"\"ab\"\x90x", "ab", 4},                 // a byte from 0x80 up also closes a quote
        {"\"ab\"\x7fx", "ab\"\x7fx", 6},          // DEL does not
        {"ab\x82yz", "ab", 3},                    // 0x80..0xFF end a bare token, consumed
        {"\xe4\xb8zz", "\xe4", 2},                // ...but a lead byte is kept whatever it is
        {"\x01" "ab", "\x01" "ab", 3},            // a control lead byte too
        {"ab\x01yz", "ab", 3},
        {"hide,", "hide,", 5},                    // a comma is an ordinary byte
        {"a\rb", "a", 1},                         // a break ends the token, not consumed
        {"a\r\nb", "a", 2},                       // a pair leaves the cursor on its LF
        {"", "", 0},
        {"   ", "", 3},
        {"  \r\nx", "", 3},
        {"\r\n\r\nx", "", 1},                    // one operation never steps past the first pair
        {"  \n\r\n\r", "", 3},
    };
    for (const TokenCase& c : cases) {
        char buffer[64];
        ScanCursor cursor = c.text.c_str();
        next_token(cursor, buffer, sizeof buffer);
        EXPECT_EQ(std::string(buffer), c.token) << "text: " << testing::PrintToString(c.text);
        EXPECT_EQ(cursor - c.text.c_str(), c.cursor_after)
            << "text: " << testing::PrintToString(c.text);
    }
}

TEST(Scanner, NextTokenAfterALineBreakYieldsNothing) {
    const char text[] = "a\rb";
    ScanCursor cursor = text;
    char buffer[16];
    next_token(cursor, buffer, sizeof buffer);
    next_token(cursor, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(cursor, text + 1);
}

TEST(Scanner, NextTokenCutsALongTokenButConsumesAllOfIt) {
    for (const bool quoted : {false, true}) {
        const std::string body(1000, 'p');
        const std::string text = (quoted ? "\"" + body + "\"" : body) + " next";
        char buffer[17];
        std::memset(buffer, '#', sizeof buffer);
        ScanCursor cursor = text.c_str();
        next_token(cursor, buffer, 8);
        EXPECT_EQ(std::string(buffer), std::string(7, 'p')) << "quoted " << quoted;
        EXPECT_EQ(buffer[8], '#') << "wrote past the capacity, quoted " << quoted;
        next_token(cursor, buffer, 8);
        EXPECT_STREQ(buffer, "next") << "quoted " << quoted;
    }
}

TEST(Scanner, NextTokenFillsExactlyToCapacity) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    ScanCursor cursor = "abcd";
    next_token(cursor, buffer, 5);  // four bytes and the terminator fit exactly
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(buffer[5], '#');

    cursor = "abcd";
    next_token(cursor, buffer, 1);  // only the terminator fits
    EXPECT_STREQ(buffer, "");

    buffer[0] = '#';
    cursor = "abcd";
    next_token(cursor, buffer, 0);  // nothing fits: nothing is written
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(*cursor, '\0');
}

struct NumberCase {
    const char* text;
    std::uint64_t value;
    std::ptrdiff_t cursor_after;
};

TEST(Scanner, NextNumberReadsUnsignedDecimalAndWraps) {
    const NumberCase cases[] = {
        {"  42,7", 42, 4},
        {"-5", 0, 0},                                       // no sign: stays on the minus
        {"007", 7, 3},
        {"", 0, 0},
        {"\t 9x", 9, 3},
        {"18446744073709551615", 18446744073709551615u, 20},
        {"18446744073709551616", 0, 20},                    // 2^64 wraps to 0
        {"99999999999999999999", 7766279631452241919u, 20},  // twenty nines, modulo 2^64
        {"12\r\n3", 12, 2},
        {"\"5\"", 0, 0},                                     // quoted digits are no number
        {"\r\n5", 0, 1},                                      // never reads past a break
    };
    for (const NumberCase& c : cases) {
        ScanCursor cursor = c.text;
        EXPECT_EQ(next_number(cursor), c.value) << "text: " << testing::PrintToString(c.text);
        EXPECT_EQ(cursor - c.text, c.cursor_after) << "text: " << testing::PrintToString(c.text);
    }
}

TEST(Scanner, SkipSeparatorTakesBlanksAndAtMostOneComma) {
    const struct {
        const char* text;
        std::ptrdiff_t cursor_after;
    } cases[] = {
        {",20", 1}, {" , 20", 2}, {"\t,\t20", 2}, {",,20", 1}, {" 20", 1}, {"", 0}, {"\r\n,", 1},
        {"\r\n\r\n,", 1}, {" \n\r\n\r", 2},
    };
    for (const auto& c : cases) {
        ScanCursor cursor = c.text;
        skip_separator(cursor);
        EXPECT_EQ(cursor - c.text, c.cursor_after) << "text: " << testing::PrintToString(c.text);
    }
}

}  // namespace
