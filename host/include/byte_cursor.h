// The one reader every parser here takes file data through, in the hosts and
// in the plug-ins alike: a position inside a block of bytes.
//
// Why it is built this way:
//  - Bounds-checked.  A read either takes all of its bytes from inside the
//    block and moves past them, or fails: it returns nothing (an empty
//    optional, or false) and leaves the position exactly where it was.  No
//    read, skip, seek or search ever reaches outside the block, so a size or
//    count taken from a file cannot walk a parser off its data; the worst it
//    can do is make a read fail.
//  - Assembled from bytes.  Numbers are built byte by byte in the order the
//    format states, never by casting a struct or a pointer over file data, so
//    neither the machine's byte order nor the data's alignment matters.
//  - Failure is a value, never an exception: plug-ins use this too, and
//    nothing may be thrown across the host boundary.
//
// Header-only and standard library only, so that it can sit beside the API
// declarations the plug-ins are allowed to include.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace bytes {

// Four characters as a number, first character in the high byte: what
// Cursor::fourcc() reads from the same characters stored in a file, and what
// FOUR_CHAR_CODE gives for them.
constexpr uint32_t fourcc(const char (&s)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3]));
}

class Cursor {
public:
    Cursor() = default;
    explicit Cursor(std::span<const uint8_t> block) : block_(block) {}
    // A block as a C interface hands it out.  A null pointer is an empty
    // block whatever size comes with it, so a released block reads as empty.
    Cursor(const void *data, std::size_t size)
        : block_(data ? std::span<const uint8_t>(static_cast<const uint8_t *>(data), size)
                      : std::span<const uint8_t>()) {}

    std::size_t size() const { return block_.size(); }
    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return block_.size() - pos_; }
    // The bytes from the position to the end of the block; nothing moves.
    std::span<const uint8_t> rest() const { return block_.subspan(pos_); }

    // Moves to an absolute offset; the end of the block is a valid place,
    // anything past it is not.
    bool seek(std::size_t offset) {
        if (offset > block_.size()) return false;
        pos_ = offset;
        return true;
    }
    bool skip(std::size_t n) {
        if (n > remaining()) return false;
        pos_ += n;
        return true;
    }

    std::optional<uint8_t> u8() {
        if (remaining() < 1) return std::nullopt;
        return block_[pos_++];
    }
    std::optional<uint16_t> u16be() { return read<uint16_t, 2, true>(); }
    std::optional<uint16_t> u16le() { return read<uint16_t, 2, false>(); }
    std::optional<uint32_t> u24be() { return read<uint32_t, 3, true>(); }
    std::optional<uint32_t> u32be() { return read<uint32_t, 4, true>(); }
    std::optional<uint32_t> u32le() { return read<uint32_t, 4, false>(); }
    std::optional<uint64_t> u64be() { return read<uint64_t, 8, true>(); }
    // Signed values are two's complement in every format read here.
    std::optional<int16_t> i16be() { return as_signed<int16_t>(u16be()); }
    std::optional<int32_t> i32be() { return as_signed<int32_t>(u32be()); }
    std::optional<int32_t> i32le() { return as_signed<int32_t>(u32le()); }
    // Four-character codes are stored first character first.
    std::optional<uint32_t> fourcc() { return u32be(); }

    // The next n bytes, which the position moves past.
    std::optional<std::span<const uint8_t>> take(std::size_t n) {
        if (n > remaining()) return std::nullopt;
        const auto s = block_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    // A cursor over the next n bytes alone, which this one moves past: reads
    // through it stop at the end of those n bytes, whatever follows them.
    std::optional<Cursor> sub(std::size_t n) {
        const auto s = take(n);
        if (!s) return std::nullopt;
        return Cursor(*s);
    }

    // Moves to the next place, from the position on, where the four
    // characters of code stand, trying every byte rather than only aligned
    // ones.  Stays put when there is none.
    bool find(uint32_t code) {
        for (std::size_t p = pos_; block_.size() - p >= 4; ++p) {
            if (assemble<uint32_t, 4, true>(p) == code) {
                pos_ = p;
                return true;
            }
        }
        return false;
    }

private:
    template <typename T, std::size_t N, bool BigEndian>
    T assemble(std::size_t at) const {
        T v = 0;
        for (std::size_t i = 0; i < N; ++i) {
            const std::size_t k = BigEndian ? i : N - 1 - i;
            v = static_cast<T>((v << 8) | block_[at + k]);
        }
        return v;
    }
    template <typename T, std::size_t N, bool BigEndian>
    std::optional<T> read() {
        if (remaining() < N) return std::nullopt;
        const T v = assemble<T, N, BigEndian>(pos_);
        pos_ += N;
        return v;
    }
    template <typename S, typename U>
    static std::optional<S> as_signed(std::optional<U> u) {
        if (!u) return std::nullopt;
        return static_cast<S>(*u);
    }

    std::span<const uint8_t> block_;
    std::size_t pos_ = 0;
};

}  // namespace bytes
