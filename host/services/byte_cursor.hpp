// A bounds-checked reader over a byte range, shared by every parser of the
// file services.  Each read either succeeds and moves on, or fails and leaves
// the cursor where it was; nothing reads outside the range.  Numbers are
// assembled from bytes in the order the format states, never by casting a
// struct over file data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace fileservices {

class ByteCursor {
public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return bytes_.size() - pos_; }
    std::span<const uint8_t> bytes() const { return bytes_; }

    // Moves to an absolute offset; an offset past the end fails.
    bool seek(std::size_t offset) {
        if (offset > bytes_.size()) return false;
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
        return bytes_[pos_++];
    }
    std::optional<uint16_t> u16be() { return read<uint16_t, 2, true>(); }
    std::optional<uint16_t> u16le() { return read<uint16_t, 2, false>(); }
    std::optional<uint32_t> u24be() { return read<uint32_t, 3, true>(); }
    std::optional<uint32_t> u32be() { return read<uint32_t, 4, true>(); }
    std::optional<uint32_t> u32le() { return read<uint32_t, 4, false>(); }
    std::optional<uint64_t> u64be() { return read<uint64_t, 8, true>(); }
    // Four-character codes are stored first character first.
    std::optional<uint32_t> fourcc() { return u32be(); }

    // The next n bytes as a span, or nothing when fewer remain.
    std::optional<std::span<const uint8_t>> take(std::size_t n) {
        if (n > remaining()) return std::nullopt;
        auto s = bytes_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    // A cursor over the next n bytes, which this cursor steps over.
    std::optional<ByteCursor> sub(std::size_t n) {
        auto s = take(n);
        if (!s) return std::nullopt;
        return ByteCursor(*s);
    }

private:
    template <typename T, std::size_t N, bool BigEndian>
    std::optional<T> read() {
        if (remaining() < N) return std::nullopt;
        T v = 0;
        for (std::size_t i = 0; i < N; ++i) {
            const std::size_t k = BigEndian ? i : N - 1 - i;
            v = static_cast<T>((v << 8) | bytes_[pos_ + k]);
        }
        pos_ += N;
        return v;
    }

    std::span<const uint8_t> bytes_;
    std::size_t pos_ = 0;
};

constexpr uint32_t fourcc(const char (&s)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3]));
}

}  // namespace fileservices
