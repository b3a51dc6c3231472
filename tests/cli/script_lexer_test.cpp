// Script words: what a word reads as, how a line splits, and that every
// float and symbol maxhost writes reads back as the same value.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "script_lexer.hpp"

using maxhost::classify_word;
using maxhost::format_float;
using maxhost::format_symbol;
using maxhost::lex_line;
using maxhost::LexError;
using maxhost::quote_symbol;
using maxhost::Token;

namespace {

std::vector<Token> lex_ok(std::string_view line) {
    std::vector<Token> out;
    LexError e;
    EXPECT_TRUE(lex_line(line, out, &e)) << line << ": " << e.message;
    return out;
}

LexError lex_bad(std::string_view line) {
    std::vector<Token> out;
    LexError e;
    EXPECT_FALSE(lex_line(line, out, &e)) << line;
    return e;
}

// The one token a formatted value must lex back to.
Token single_token(const std::string &text) {
    std::vector<Token> out;
    LexError e;
    if (!lex_line(text, out, &e)) {
        ADD_FAILURE() << "cannot lex " << text << ": " << e.message;
        return {};
    }
    if (out.size() != 1) {
        ADD_FAILURE() << text << " gives " << out.size() << " tokens";
        return {};
    }
    return out[0];
}

TEST(ScriptWords, IntsAreDecimalAndFitThirtyTwoBits) {
    struct Case {
        const char *word;
        int32_t value;
    };
    for (Case c : {Case{"0", 0},
                   {"-0", 0},
                   {"+7", 7},
                   {"007", 7},
                   {"2147483647", 2147483647},
                   {"-2147483648", std::numeric_limits<int32_t>::min()}}) {
        auto v = classify_word(c.word);
        EXPECT_EQ(v.kind, Token::Int) << c.word;
        EXPECT_EQ(v.i, c.value) << c.word;
    }
    // Too big for an int and without point or exponent: neither number.
    for (const char *w : {"2147483648", "-2147483649", "99999999999999999999"})
        EXPECT_EQ(classify_word(w).kind, Token::Symbol) << w;
}

TEST(ScriptWords, FloatsNeedAPointOrAnExponent) {
    struct Case {
        const char *word;
        float value;
    };
    for (Case c : {Case{"440.", 440.0f},
                   {".5", 0.5f},
                   {"-.5", -0.5f},
                   {"+.5e-2", 0.005f},
                   {"-1e3", -1000.0f},
                   {"1E3", 1000.0f},
                   {"1e+20", 1e20f},
                   {"0.1", 0.1f},
                   {"-0.", -0.0f},
                   {"3.4028235e38", 3.4028235e38f}}) {
        auto v = classify_word(c.word);
        EXPECT_EQ(v.kind, Token::Float) << c.word;
        EXPECT_EQ(std::bit_cast<uint32_t>(v.f), std::bit_cast<uint32_t>(c.value)) << c.word;
    }
    // Words the C library would read as numbers, and near misses.
    for (const char *w :
         {".",    "-",     "+",     "-.",   "e5",  "1e",  "1e+", ".e1",  "inf",   "-inf", "nan", "infinity",
          "0x10", "0x1p3", "1.2.3", "1..2", "++1", "+-1", "1f",  "1.5f", "1e5.0", " 1",   "1 ",  "١"})
        EXPECT_EQ(classify_word(w).kind, Token::Symbol) << w;
}

TEST(ScriptWords, FloatsBeyondRangeRoundLikeAnyOther) {
    // Decimal numbers still, so floats: rounded to the nearest float, which
    // beyond the range is an infinity or zero.
    EXPECT_EQ(classify_word("1e50").f, std::numeric_limits<float>::infinity());
    EXPECT_EQ(classify_word("-1e50").f, -std::numeric_limits<float>::infinity());
    auto tiny = classify_word("-1e-50");
    EXPECT_EQ(tiny.kind, Token::Float);
    EXPECT_EQ(std::bit_cast<uint32_t>(tiny.f), 0x80000000u);
    EXPECT_EQ(std::bit_cast<uint32_t>(classify_word("1e-45").f), 1u);  // smallest subnormal
    EXPECT_EQ(std::bit_cast<uint32_t>(classify_word("1e-38").f), std::bit_cast<uint32_t>(1e-38f));
}

TEST(ScriptLines, BlanksTabsCommasAndComments) {
    auto t = lex_ok(" \tnew  a\ttessel~ 4,2 ,, \"x,y\" ");
    ASSERT_EQ(t.size(), 9u);
    EXPECT_EQ(t[0].text, "new");
    EXPECT_EQ(t[2].text, "tessel~");
    EXPECT_EQ(t[3].kind, Token::Int);
    EXPECT_EQ(t[4].kind, Token::Comma);  // a comma ends the word before it
    EXPECT_EQ(t[5].kind, Token::Int);
    EXPECT_EQ(t[6].kind, Token::Comma);
    EXPECT_EQ(t[7].kind, Token::Comma);
    EXPECT_EQ(t[8].kind, Token::Symbol);
    EXPECT_EQ(t[8].text, "x,y");

    EXPECT_TRUE(lex_ok("").empty());
    EXPECT_TRUE(lex_ok(" \t ").empty());
    EXPECT_TRUE(lex_ok("# new a b").empty());
    EXPECT_TRUE(lex_ok("\t  #").empty());
    // Only a line's first word can start a comment.
    auto hash = lex_ok("send a #b # c");
    ASSERT_EQ(hash.size(), 5u);
    EXPECT_EQ(hash[2].text, "#b");
    EXPECT_EQ(hash[3].text, "#");
    // A bare backslash is just a byte.
    EXPECT_EQ(lex_ok("a\\nb")[0].text, "a\\nb");
}

TEST(ScriptLines, QuotesMakeSymbolsWithEscapes) {
    auto t = lex_ok(R"("7" "" "a b" "\"\\\n\x41\xc3\xA9" "# x" "1e3")");
    ASSERT_EQ(t.size(), 6u);
    for (const Token &tok : t) EXPECT_EQ(tok.kind, Token::Symbol);
    EXPECT_EQ(t[0].text, "7");
    EXPECT_EQ(t[1].text, "");
    EXPECT_EQ(t[2].text, "a b");
    EXPECT_EQ(t[3].text, "\"\\\nA\xc3\xa9");
    EXPECT_EQ(t[4].text, "# x");
    EXPECT_EQ(t[5].text, "1e3");
    // A quoted word may be followed directly by a comma.
    auto c = lex_ok(R"(send a "x", "y")");
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[3].kind, Token::Comma);
}

TEST(ScriptLines, MalformedQuotesAreErrorsWithAColumn) {
    struct Case {
        const char *line;
        std::size_t column;
    };
    for (Case c : {Case{R"(send a "abc)", 8},
                   {R"(a "x\)", 3},
                   {R"(a "\q")", 4},
                   {R"(a "\x4")", 4},
                   {R"(a "\xg0")", 4},
                   {R"(a "\x00")", 4},
                   {R"(ab"c")", 3},
                   {R"("a"b)", 4},
                   {R"("a""b")", 4}}) {
        LexError e = lex_bad(c.line);
        EXPECT_EQ(e.column, c.column) << c.line << ": " << e.message;
        EXPECT_FALSE(e.message.empty());
    }
    // A NUL byte cannot be part of a symbol the host can hold, bare either.
    EXPECT_EQ(lex_bad(std::string_view("ab\0c", 4)).column, 3u);
}

TEST(FloatFormat, ShortestTextWithAPointWhenItWouldReadAsAnInt) {
    struct Case {
        float value;
        const char *text;
    };
    const float inf = std::numeric_limits<float>::infinity();
    for (Case c : {Case{1000.0f, "1000."},
                   {-0.0f, "-0."},
                   {0.0f, "0."},
                   {440.0f, "440."},
                   {1e20f, "1e+20"},
                   {0.1f, "0.1"},
                   {-1.5f, "-1.5"},
                   {16777216.0f, "16777216."},
                   {3.4028235e38f, "3.4028235e+38"},
                   {1e-45f, "1e-45"},
                   {inf, "inf"},
                   {-inf, "-inf"},
                   {std::numeric_limits<float>::quiet_NaN(), "nan"}})
        EXPECT_EQ(format_float(c.value), c.text);
}

TEST(FloatFormat, EveryFiniteFloatReadsBackToTheSameBits) {
    std::mt19937 rng(20240611);
    std::vector<uint32_t> bits;
    // Every exponent with the mantissa's edges, then random patterns.
    for (uint32_t e = 0; e < 255; ++e)
        for (uint32_t m : {0u, 1u, 0x400000u, 0x7fffffu})
            for (uint32_t s : {0u, 0x80000000u}) bits.push_back(s | e << 23 | m);
    for (int k = 0; k < 200000; ++k) bits.push_back(rng());

    int checked = 0;
    for (uint32_t b : bits) {
        float f = std::bit_cast<float>(b);
        if (!std::isfinite(f)) continue;
        std::string text = format_float(f);
        Token t = single_token(text);
        ASSERT_EQ(t.kind, Token::Float) << text;
        ASSERT_EQ(std::bit_cast<uint32_t>(t.f), b) << text;
        ++checked;
    }
    EXPECT_GT(checked, 190000);
}

TEST(SymbolFormat, BareOnlyWhenThatReadsBackTheSame) {
    struct Case {
        std::string symbol;
        std::string text;
    };
    for (const Case &c : std::vector<Case>{{"foo", "foo"},
                                           {"tessel~", "tessel~"},
                                           {"a#", "a#"},
                                           {"inf", "inf"},
                                           {"1.2.3", "1.2.3"},
                                           {"2147483648", "2147483648"},
                                           {"caf\xc3\xa9", "caf\xc3\xa9"},
                                           {"", "\"\""},
                                           {"#a", "\"#a\""},
                                           {"7", "\"7\""},
                                           {"-1e3", "\"-1e3\""},
                                           {"1e50", "\"1e50\""},
                                           {"a b", "\"a b\""},
                                           {"a,b", "\"a,b\""},
                                           {"say \"hi\"", R"("say \"hi\"")"},
                                           {"a\\b", R"("a\\b")"},
                                           {"\n", R"("\n")"},
                                           {"\t", R"("\x09")"},
                                           {"\x7f", R"("\x7F")"},
                                           {"\x01z", R"("\x01z")"},
                                           // Nothing a terminal obeys goes out as it is.
                                           {"\x1b[2J", R"("\x1B[2J")"},
                                           {"a\xc2\x9b", R"("a\xC2\x9B")"},
                                           {"\xff\xc3", R"("\xFF\xC3")"},
                                           {"\xc2\xa0", "\xc2\xa0"}})
        EXPECT_EQ(format_symbol(c.symbol), c.text);
    EXPECT_EQ(quote_symbol("foo"), "\"foo\"");
}

TEST(SymbolFormat, EverySymbolReadsBackTheSame) {
    std::vector<std::string> symbols = {"",  "#", "##", ",",  "\"",  "\\",       " ",
                                        "-", ".", "1.", "+1", "nan", "\xff\x80", "a\"b\\c,d e#f"};
    for (int c = 1; c < 256; ++c) {
        symbols.emplace_back(1, static_cast<char>(c));
        symbols.push_back("x" + std::string(1, static_cast<char>(c)) + "1");
    }
    std::mt19937 rng(7);
    // Short strings over a small alphabet hit the number shapes often.
    const std::string alphabet = "0123456789.eE+-# ,\"\\\nx\x01\x7f\xc3";
    for (int k = 0; k < 20000; ++k) {
        std::string s;
        for (int n = static_cast<int>(rng() % 7); n > 0; --n) s += alphabet[rng() % alphabet.size()];
        symbols.push_back(s);
    }
    for (int k = 0; k < 2000; ++k) {
        std::string s;
        for (int n = static_cast<int>(rng() % 12); n > 0; --n) s += static_cast<char>(1 + rng() % 255);
        symbols.push_back(s);
    }
    for (const std::string &s : symbols) {
        std::string text = format_symbol(s);
        Token t = single_token(text);
        ASSERT_EQ(t.kind, Token::Symbol) << text;
        ASSERT_EQ(t.text, s) << text;
        // Quoting is always safe too.
        ASSERT_EQ(single_token(quote_symbol(s)).text, s);
    }
}

}  // namespace
