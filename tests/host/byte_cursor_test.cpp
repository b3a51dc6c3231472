// The byte cursor every parser reads through: each read at the very end of
// its block and one byte short of it, where a failed read must leave the
// position alone; byte order and sign for every width; the byte-by-byte
// search at its limits; the bounds of take, sub, seek and skip.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "byte_cursor.h"
#include "ext_types.h"

namespace {

using Block = std::vector<uint8_t>;

// High bytes everywhere, so that a byte taken as a signed char would show.
Block high_bytes(std::size_t n) {
    Block b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x81 + i);
    return b;
}

struct Read {
    const char *name;
    std::size_t width;
    std::function<bool(bytes::Cursor &)> run;  // true when the read succeeded
};

const std::vector<Read> &every_read() {
    static const std::vector<Read> reads = {
        {"u8", 1, [](bytes::Cursor &c) { return c.u8().has_value(); }},
        {"u16be", 2, [](bytes::Cursor &c) { return c.u16be().has_value(); }},
        {"u16le", 2, [](bytes::Cursor &c) { return c.u16le().has_value(); }},
        {"i16be", 2, [](bytes::Cursor &c) { return c.i16be().has_value(); }},
        {"u24be", 3, [](bytes::Cursor &c) { return c.u24be().has_value(); }},
        {"u32be", 4, [](bytes::Cursor &c) { return c.u32be().has_value(); }},
        {"u32le", 4, [](bytes::Cursor &c) { return c.u32le().has_value(); }},
        {"i32be", 4, [](bytes::Cursor &c) { return c.i32be().has_value(); }},
        {"i32le", 4, [](bytes::Cursor &c) { return c.i32le().has_value(); }},
        {"fourcc", 4, [](bytes::Cursor &c) { return c.fourcc().has_value(); }},
        {"u64be", 8, [](bytes::Cursor &c) { return c.u64be().has_value(); }},
        {"take", 5, [](bytes::Cursor &c) { return c.take(5).has_value(); }},
        {"sub", 5, [](bytes::Cursor &c) { return c.sub(5).has_value(); }},
        {"skip", 5, [](bytes::Cursor &c) { return c.skip(5); }},
    };
    return reads;
}

// --- bounds ------------------------------------------------------------------

TEST(ByteCursor, EveryReadEndingExactlyAtTheEndSucceeds) {
    constexpr std::size_t kLead = 3;  // not at the start, so pos matters
    for (const Read &r : every_read()) {
        const Block b = high_bytes(kLead + r.width);
        bytes::Cursor c(b);
        ASSERT_TRUE(c.skip(kLead));
        EXPECT_TRUE(r.run(c)) << r.name;
        EXPECT_EQ(c.pos(), b.size()) << r.name;
        EXPECT_EQ(c.remaining(), 0u) << r.name;
    }
}

TEST(ByteCursor, EveryReadOneByteShortFailsAndLeavesThePosition) {
    constexpr std::size_t kLead = 3;
    for (const Read &r : every_read()) {
        const Block b = high_bytes(kLead + r.width - 1);
        bytes::Cursor c(b);
        ASSERT_TRUE(c.skip(kLead));
        EXPECT_FALSE(r.run(c)) << r.name;
        EXPECT_EQ(c.pos(), kLead) << r.name;
        // Nothing was consumed: the next byte is still the one at kLead.
        if (r.width > 1) {
            EXPECT_EQ(c.u8(), b[kLead]) << r.name;
        }
    }
}

TEST(ByteCursor, EmptyAndNullBlocksReadNothing) {
    bytes::Cursor none;
    EXPECT_FALSE(none.u8());
    EXPECT_TRUE(none.take(0));
    EXPECT_TRUE(none.seek(0));
    EXPECT_FALSE(none.find(bytes::fourcc("RIFF")));

    // A released block comes as a null pointer with a stale size.
    bytes::Cursor released(nullptr, 16);
    EXPECT_EQ(released.size(), 0u);
    EXPECT_FALSE(released.u32be());
    EXPECT_FALSE(released.skip(1));
}

TEST(ByteCursor, SeekAndSkipReachTheEndButNotPastIt) {
    const Block b = high_bytes(6);
    bytes::Cursor c(b);
    ASSERT_TRUE(c.seek(2));
    EXPECT_FALSE(c.seek(7));
    EXPECT_EQ(c.pos(), 2u);
    EXPECT_TRUE(c.seek(6));
    EXPECT_EQ(c.remaining(), 0u);
    EXPECT_TRUE(c.rest().empty());
    EXPECT_TRUE(c.seek(0));  // backwards is allowed
    EXPECT_EQ(c.u8(), 0x81);

    EXPECT_FALSE(c.skip(6));
    EXPECT_EQ(c.pos(), 1u);
    EXPECT_FALSE(c.skip(SIZE_MAX));  // no wrap-around of pos + n
    EXPECT_EQ(c.pos(), 1u);
    EXPECT_TRUE(c.skip(5));
}

TEST(ByteCursor, TakeAndRestViewTheBlockInPlace) {
    const Block b = high_bytes(8);
    bytes::Cursor c(b);
    ASSERT_TRUE(c.skip(2));
    EXPECT_EQ(c.rest().data(), b.data() + 2);
    EXPECT_EQ(c.rest().size(), 6u);
    EXPECT_EQ(c.pos(), 2u);  // looking does not move

    const auto t = c.take(3);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->data(), b.data() + 2);
    EXPECT_EQ(t->size(), 3u);
    EXPECT_EQ(c.pos(), 5u);
    EXPECT_FALSE(c.take(4));
    EXPECT_EQ(c.pos(), 5u);
    EXPECT_TRUE(c.take(3));
    EXPECT_TRUE(c.take(0));  // nothing, at the very end
}

TEST(ByteCursor, SubStopsAtItsOwnEndWhateverFollows) {
    const Block b = high_bytes(10);
    bytes::Cursor c(b);
    ASSERT_TRUE(c.skip(1));
    auto s = c.sub(3);
    ASSERT_TRUE(s);
    EXPECT_EQ(c.pos(), 4u);
    EXPECT_EQ(s->size(), 3u);
    EXPECT_EQ(s->pos(), 0u);
    // The parent holds plenty more, but the sub-block ends after 3 bytes.
    EXPECT_FALSE(s->u32be());
    EXPECT_EQ(s->u24be(), 0x828384u);
    EXPECT_FALSE(s->u8());
    EXPECT_FALSE(s->seek(4));
    // The parent goes on after the sub-block.
    EXPECT_EQ(c.u8(), 0x85);
}

// --- byte order and sign -------------------------------------------------------

TEST(ByteCursor, EachWidthInItsByteOrder) {
    const Block b = high_bytes(8);  // 81 82 83 84 85 86 87 88
    auto at0 = [&] { return bytes::Cursor(b); };
    EXPECT_EQ(at0().u8(), 0x81u);
    EXPECT_EQ(at0().u16be(), 0x8182u);
    EXPECT_EQ(at0().u16le(), 0x8281u);
    EXPECT_EQ(at0().u24be(), 0x818283u);
    EXPECT_EQ(at0().u32be(), 0x81828384u);
    EXPECT_EQ(at0().u32le(), 0x84838281u);
    EXPECT_EQ(at0().fourcc(), 0x81828384u);
    EXPECT_EQ(at0().u64be(), 0x8182838485868788u);

    // Consecutive reads pick up where the last one stopped.
    bytes::Cursor c(b);
    EXPECT_EQ(c.u24be(), 0x818283u);
    EXPECT_EQ(c.u16le(), 0x8584u);
    EXPECT_EQ(c.u16be(), 0x8687u);
    EXPECT_EQ(c.u8(), 0x88u);
}

TEST(ByteCursor, SignedReadsAreTwosComplement) {
    const Block b = {0xFF, 0xFE, 0x80, 0x00, 0x00, 0x00, 0xFE, 0xFF,
                     0xFF, 0xFF, 0x7F, 0xFF, 0x00, 0x01, 0x00, 0x00};
    bytes::Cursor c(b);
    EXPECT_EQ(c.i16be(), -2);
    EXPECT_EQ(c.i32be(), INT32_MIN);
    EXPECT_EQ(c.i32le(), -2);
    EXPECT_EQ(c.i16be(), 32767);
    EXPECT_EQ(c.i32le(), 256);
}

TEST(ByteCursor, FourccNamesWhatTheCursorReadsFromTheSameCharacters) {
    static_assert(bytes::fourcc("RIFF") == 0x52494646u);
    // Characters above 0x7F are negative chars here; none may smear into
    // the bytes above it.
    static_assert(bytes::fourcc("\xA9\xB1\xC2\xD3") == 0xA9B1C2D3u);
    static_assert(bytes::fourcc("Sd2f") == FOUR_CHAR_CODE('S', 'd', '2', 'f'));

    const std::string stored = "WAVEfmt ";
    bytes::Cursor c(stored.data(), stored.size());
    EXPECT_EQ(c.fourcc(), bytes::fourcc("WAVE"));
    EXPECT_EQ(c.fourcc(), bytes::fourcc("fmt "));
}

// --- search --------------------------------------------------------------------

TEST(ByteCursor, FindTriesEveryByteUpToTheLastPossiblePlace) {
    // "labl" at offset 5 of 9: unaligned, and the last place four bytes fit.
    const std::string s = "lablXlabl";
    bytes::Cursor c(s.data(), s.size());
    ASSERT_TRUE(c.skip(1));
    EXPECT_TRUE(c.find(bytes::fourcc("labl")));
    EXPECT_EQ(c.pos(), 5u);
    // Where the code stands already, find stays.
    EXPECT_TRUE(c.find(bytes::fourcc("labl")));
    EXPECT_EQ(c.pos(), 5u);
    EXPECT_EQ(c.fourcc(), bytes::fourcc("labl"));
}

TEST(ByteCursor, FindThatFailsStaysPut) {
    // The code cut short by the end of the block, and one behind the
    // position, are both not there.
    const std::string s = "lablxxlab";
    bytes::Cursor c(s.data(), s.size());
    ASSERT_TRUE(c.skip(1));
    EXPECT_FALSE(c.find(bytes::fourcc("labl")));
    EXPECT_EQ(c.pos(), 1u);

    const std::string tiny = "lab";
    bytes::Cursor t(tiny.data(), tiny.size());
    EXPECT_FALSE(t.find(bytes::fourcc("labl")));
    EXPECT_EQ(t.pos(), 0u);
}

}  // namespace
