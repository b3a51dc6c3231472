// Patch-script words: splitting a line into atoms, and writing atoms back in
// a form that splits the same way.
//
// A line is atoms separated by blanks and tabs.  A line whose first non-blank
// character is '#' is a comment.  A bare word is an int when it matches
// [+-]?[0-9]+ and fits 32 bits, a float when it reads completely as a decimal
// number with a point or an exponent, else a symbol.  "..." is always a
// symbol, with the escapes \" \\ \n \xHH.  An unquoted ',' stands on its own
// and separates messages, as in a message box.
//
// Nothing here knows the host: atoms are plain values, so the formatting
// can be checked without loading anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace maxhost {

struct Token {
    enum Kind { Int, Float, Symbol, Comma };
    Kind kind = Symbol;
    int32_t i = 0;
    float f = 0.0f;
    // A symbol's bytes; for a number, its spelling in the script (which
    // keeps the decimal digits a float has rounded away).
    std::string text;
};

// What a bare word reads as.  Symbol leaves i and f zero.
struct WordValue {
    Token::Kind kind = Token::Symbol;
    int32_t i = 0;
    float f = 0.0f;
};
WordValue classify_word(std::string_view word);

struct LexError {
    std::size_t column = 0;  // 1-based byte column of the offending spot
    std::string message;
};

// Splits one line (without its line break) into tokens.  False with *error
// filled when the line cannot be read; out then holds what came before.
bool lex_line(std::string_view line, std::vector<Token> &out, LexError *error);

// Writing atoms.  Every result lexes back to the same value, except that
// the floats inf, -inf and nan come out as words that read as symbols.
std::string format_int(int32_t v);
// The shortest text that reads back to the same float, with a '.' added
// when it would otherwise read as an int ("1000.", "-0.", "1e+20").
std::string format_float(float v);
// Bare when that reads back as the same symbol and every byte may reach a
// terminal as it is, else quoted.  Quoting escapes as \xHH every byte a
// terminal must not be sent (see shown_length), so that a symbol from a
// file (a marker's name) cannot drive the terminal it is printed on.
std::string format_symbol(std::string_view s);
// Always quoted; for naming things in messages.
std::string quote_symbol(std::string_view s);

// The length of the valid UTF-8 sequence at s[i], or 0.
std::size_t utf8_length(std::string_view s, std::size_t i);
// The length of the sequence at s[i] that a terminal may be sent as it is:
// printable ASCII, or valid UTF-8 from U+00A0 up; 0 for a byte to escape.
std::size_t shown_length(std::string_view s, std::size_t i);
bool all_shown(std::string_view s);

}  // namespace maxhost
