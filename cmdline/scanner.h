// A byte scanner over the raw, NUL-terminated command line. It never writes to
// the text and never reads past its end or past the first line break: CR, LF,
// CR LF and LF CR all end the text exactly like NUL. No code-page handling.
#pragma once

#include <cstddef>
#include <cstdint>

using ScanCursor = const char*;

// The byte under the cursor, or 0 for an end byte (NUL, CR, LF). On a CR LF or
// LF CR pair the cursor moves onto the pair's second byte.
char peek_char(ScanCursor& cursor);

// Skips blanks and copies one token (bare, or in double quotes) into buffer,
// NUL-terminated. A token longer than capacity - 1 bytes is cut to fit, but
// the whole token is still consumed. Capacity 0 writes nothing.
void next_token(ScanCursor& cursor, char* buffer, std::size_t capacity);

// Skips blanks and the program name that opens a command line, read as
// Windows reads it: double quotes open and close quoted parts anywhere in
// it, and outside them it ends at the first blank or control byte, so a
// bare name keeps every byte from 0x80 up.
void skip_program_name(ScanCursor& cursor);

// Skips blanks and reads an unsigned decimal number, wrapping modulo 2^64;
// 0 when no digit follows. No sign is recognised.
std::uint64_t next_number(ScanCursor& cursor);

// Skips blanks and at most one comma: the step between two numbers.
void skip_separator(ScanCursor& cursor);
