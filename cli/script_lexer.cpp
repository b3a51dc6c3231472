#include "script_lexer.hpp"

#include <charconv>
#include <cstdlib>
#include <string>
#include <system_error>

namespace maxhost {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_blank(char c) { return c == ' ' || c == '\t'; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::size_t count_digits(std::string_view w, std::size_t p) {
    std::size_t n = 0;
    while (p + n < w.size() && is_digit(w[p + n])) ++n;
    return n;
}

// [+-]?[0-9]+ within int32.  Anything longer is left to the other readers
// rather than wrapped or clamped, so a too-big count never turns into a
// different number.
bool read_int(std::string_view w, int32_t &out) {
    std::size_t p = (!w.empty() && (w[0] == '+' || w[0] == '-')) ? 1 : 0;
    if (p == w.size() || count_digits(w, p) != w.size() - p) return false;
    // from_chars takes '-' but not '+'.
    std::string_view digits = w[0] == '+' ? w.substr(1) : w;
    int32_t v = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (ec != std::errc() || end != digits.data() + digits.size()) return false;
    out = v;
    return true;
}

// [+-]? (digits [. digits?] | . digits) ([eE] [+-]? digits)?, with a point
// or an exponent.  Checked by hand because the library readers also take
// "inf", "nan" and hex, which must stay symbols here.
bool read_float(std::string_view w, float &out) {
    std::size_t p = 0;
    if (p < w.size() && (w[p] == '+' || w[p] == '-')) ++p;
    std::size_t int_digits = count_digits(w, p);
    p += int_digits;
    bool point = false;
    std::size_t frac_digits = 0;
    if (p < w.size() && w[p] == '.') {
        point = true;
        ++p;
        frac_digits = count_digits(w, p);
        p += frac_digits;
    }
    if (int_digits + frac_digits == 0) return false;
    bool exponent = false;
    if (p < w.size() && (w[p] == 'e' || w[p] == 'E')) {
        ++p;
        if (p < w.size() && (w[p] == '+' || w[p] == '-')) ++p;
        std::size_t exp_digits = count_digits(w, p);
        if (exp_digits == 0) return false;
        p += exp_digits;
        exponent = true;
    }
    if (p != w.size() || (!point && !exponent)) return false;

    std::string_view text = w[0] == '+' ? w.substr(1) : w;
#if defined(__cpp_lib_to_chars)
    float v = 0.0f;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec == std::errc() && end == text.data() + text.size()) {
        out = v;
        return true;
    }
#endif
    // Out of float range: from_chars gives no value, strtof gives the
    // correctly rounded one (an infinity, zero or a subnormal).  The text has
    // been checked to be a plain decimal number, so strtof cannot read more
    // or less of it than from_chars would have.  A C++ library without
    // from_chars for floats (libc++ 16) takes this way for every number:
    // strtof rounds the same, and the programs never leave the "C" locale,
    // whose decimal point is the one checked for above.
    std::string copy(text);
    out = std::strtof(copy.c_str(), nullptr);
    return true;
}

void append_hex_escape(std::string &out, unsigned char c) {
    static const char digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 15];
}

// Reads the quoted symbol that starts at line[pos] (the opening quote).
bool lex_quoted(std::string_view line, std::size_t &pos, std::string &out, LexError *error) {
    auto fail = [&](std::size_t at, std::string message) {
        if (error) *error = LexError{at + 1, std::move(message)};
        return false;
    };
    const std::size_t open = pos;
    ++pos;
    while (pos < line.size()) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            if (pos < line.size() && !is_blank(line[pos]) && line[pos] != ',')
                return fail(pos, "a closing quote must be followed by a blank or ','");
            return true;
        }
        if (c == '\0') return fail(pos, "a symbol cannot hold a NUL byte");
        if (c != '\\') {
            out += c;
            ++pos;
            continue;
        }
        if (pos + 1 >= line.size()) return fail(open, "unterminated quote");
        char e = line[pos + 1];
        if (e == '"' || e == '\\') {
            out += e;
            pos += 2;
        } else if (e == 'n') {
            out += '\n';
            pos += 2;
        } else if (e == 'x') {
            int hi = pos + 2 < line.size() ? hex_value(line[pos + 2]) : -1;
            int lo = pos + 3 < line.size() ? hex_value(line[pos + 3]) : -1;
            if (hi < 0 || lo < 0) return fail(pos, "\\x needs two hex digits");
            int byte = hi * 16 + lo;
            // Symbols are NUL-terminated texts in the host.
            if (byte == 0) return fail(pos, "a symbol cannot hold a NUL byte");
            out += static_cast<char>(byte);
            pos += 4;
        } else {
            return fail(pos, std::string("unknown escape \\") + e);
        }
    }
    return fail(open, "unterminated quote");
}

}  // namespace

WordValue classify_word(std::string_view word) {
    WordValue v;
    if (word.empty()) return v;
    if (read_int(word, v.i)) {
        v.kind = Token::Int;
    } else if (read_float(word, v.f)) {
        v.kind = Token::Float;
    }
    return v;
}

bool lex_line(std::string_view line, std::vector<Token> &out, LexError *error) {
    std::size_t pos = 0;
    while (pos < line.size() && is_blank(line[pos])) ++pos;
    if (pos < line.size() && line[pos] == '#') return true;

    while (true) {
        while (pos < line.size() && is_blank(line[pos])) ++pos;
        if (pos >= line.size()) return true;
        char c = line[pos];
        Token t;
        if (c == ',') {
            t.kind = Token::Comma;
            t.text = ",";
            ++pos;
        } else if (c == '"') {
            if (!lex_quoted(line, pos, t.text, error)) return false;
        } else {
            std::size_t start = pos;
            while (pos < line.size() && !is_blank(line[pos]) && line[pos] != ',' && line[pos] != '"') {
                if (line[pos] == '\0') {
                    if (error) *error = LexError{pos + 1, "a symbol cannot hold a NUL byte"};
                    return false;
                }
                ++pos;
            }
            if (pos < line.size() && line[pos] == '"') {
                if (error) *error = LexError{pos + 1, "a quote must begin its word"};
                return false;
            }
            t.text = std::string(line.substr(start, pos - start));
            WordValue v = classify_word(t.text);
            t.kind = v.kind;
            t.i = v.i;
            t.f = v.f;
        }
        out.push_back(std::move(t));
    }
}

std::string format_int(int32_t v) { return std::to_string(v); }

std::string format_float(float v) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, ec == std::errc() ? end : buf);
    if (s.find_first_of(".e") == std::string::npos && s.find("inf") == std::string::npos &&
        s.find("nan") == std::string::npos)
        s += '.';
    return s;
}

// The length of the valid UTF-8 sequence at s[i], or 0 (Unicode's table of
// well-formed byte sequences: no overlong forms, no surrogates, nothing
// past U+10FFFF).
std::size_t utf8_length(std::string_view s, std::size_t i) {
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() - i < n) return 0;
    if (at(i + 1) < lo || at(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return n;
}

// The length of the sequence at s[i] that a terminal may be sent as it
// is: printable ASCII, or valid UTF-8 from U+00A0 up.  0 for a byte that
// must be escaped: a control character (some terminals take U+0080 to
// U+009F as controls too, U+009B as the start of an escape sequence) or a
// byte of invalid UTF-8 (a terminal in another encoding may take it as
// one).
std::size_t shown_length(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return c >= 0x20 && c != 0x7F ? 1 : 0;
    const std::size_t n = utf8_length(s, i);
    if (n == 2 && c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0) return 0;
    return n;
}

bool all_shown(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = shown_length(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string quote_symbol(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = shown_length(s, i);
        if (n == 0) {
            const auto c = static_cast<unsigned char>(s[i++]);
            if (c == '\n')
                out += "\\n";
            else
                append_hex_escape(out, c);
            continue;
        }
        if (s[i] == '"' || s[i] == '\\') out += '\\';
        out.append(s.substr(i, n));
        i += n;
    }
    out += '"';
    return out;
}

std::string format_symbol(std::string_view s) {
    bool bare = !s.empty() && s[0] != '#' && classify_word(s).kind == Token::Symbol && all_shown(s);
    for (std::size_t k = 0; bare && k < s.size(); ++k)
        bare = s[k] != ' ' && s[k] != '"' && s[k] != '\\' && s[k] != ',';
    return bare ? std::string(s) : quote_symbol(s);
}

}  // namespace maxhost
