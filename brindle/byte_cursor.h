// The one way brindle~ reads numbers out of file data: a position inside a
// block of bytes.  Every read either takes all of its bytes from inside the
// block and moves past them, or fails and leaves the position where it was;
// nothing is ever read outside the block.  Numbers are assembled from their
// bytes, so the machine's byte order and the data's alignment never matter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brindle {

class ByteCursor {
public:
    ByteCursor() = default;
    ByteCursor(const void *data, std::size_t size)
        : data_(static_cast<const uint8_t *>(data)), size_(data ? size : 0) {}

    std::size_t size() const { return size_; }
    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return size_ - pos_; }
    // The bytes from the position on (valid for remaining() bytes).
    const uint8_t *here() const { return data_ + pos_; }

    bool u8(uint8_t &v) {
        if (remaining() < 1) return false;
        v = data_[pos_++];
        return true;
    }
    bool u16be(uint16_t &v) {
        if (remaining() < 2) return false;
        v = static_cast<uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
        pos_ += 2;
        return true;
    }
    bool i16be(int16_t &v) {
        uint16_t u;
        if (!u16be(u)) return false;
        v = static_cast<int16_t>(u);
        return true;
    }
    bool u32be(uint32_t &v) {
        if (remaining() < 4) return false;
        v = uint32_t{data_[pos_]} << 24 | uint32_t{data_[pos_ + 1]} << 16 |
            uint32_t{data_[pos_ + 2]} << 8 | uint32_t{data_[pos_ + 3]};
        pos_ += 4;
        return true;
    }
    bool i32be(int32_t &v) {
        uint32_t u;
        if (!u32be(u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool u32le(uint32_t &v) {
        if (remaining() < 4) return false;
        v = uint32_t{data_[pos_ + 3]} << 24 | uint32_t{data_[pos_ + 2]} << 16 |
            uint32_t{data_[pos_ + 1]} << 8 | uint32_t{data_[pos_]};
        pos_ += 4;
        return true;
    }
    bool i32le(int32_t &v) {
        uint32_t u;
        if (!u32le(u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    // Four characters as stored, first character in the high byte, so the
    // result compares equal to FOUR_CHAR_CODE of the same characters.
    bool fourcc(uint32_t &v) { return u32be(v); }

    bool skip(std::size_t n) {
        if (remaining() < n) return false;
        pos_ += n;
        return true;
    }
    bool seek(std::size_t p) {
        if (p > size_) return false;
        pos_ = p;
        return true;
    }
    // The next n bytes: where they are, and the position moved past them.
    bool bytes(std::size_t n, const uint8_t *&p) {
        if (remaining() < n) return false;
        p = data_ + pos_;
        pos_ += n;
        return true;
    }
    // The next n bytes as a block of their own, the position moved past them.
    bool sub(std::size_t n, ByteCursor &out) {
        const uint8_t *p;
        if (!bytes(n, p)) return false;
        out = ByteCursor(p, n);
        return true;
    }
    // Moves to the next place, from the position on, where the four
    // characters of code stand, trying every byte.  Stays put when there is
    // none.
    bool find(uint32_t code) {
        const uint8_t want[4] = {static_cast<uint8_t>(code >> 24), static_cast<uint8_t>(code >> 16),
                                 static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
        for (std::size_t p = pos_; size_ - p >= 4; ++p) {
            if (std::memcmp(data_ + p, want, 4) == 0) {
                pos_ = p;
                return true;
            }
        }
        return false;
    }

private:
    const uint8_t *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
};

}  // namespace brindle
