// What data files do alike on every system; opening, sizing and reading at
// an offset are the system's (data_file_posix.cpp, data_file_win32.cpp).
#include "data_file.hpp"

#include <cstring>
#include <limits>

namespace fileservices {

bool MemorySource::read_at(uint64_t offset, std::span<uint8_t> out) const {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
    if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
}

bool DataFile::set_pos(From from, int64_t offset) {
    const uint64_t end = size();
    if (end > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
    const int64_t base = from == From::Start ? 0 : from == From::End ? static_cast<int64_t>(end) : pos_;
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target)) return false;
    if (target < 0 || static_cast<uint64_t>(target) > end) return false;
    pos_ = target;
    return true;
}

int64_t DataFile::read(std::span<uint8_t> out) {
    const uint64_t end = size();
    const uint64_t pos = static_cast<uint64_t>(pos_);
    const uint64_t left = pos < end ? end - pos : 0;
    const std::size_t n = left < out.size() ? static_cast<std::size_t>(left) : out.size();
    if (!read_at(pos, out.first(n))) return -1;
    pos_ += static_cast<int64_t>(n);
    return static_cast<int64_t>(n);
}

std::optional<std::vector<uint8_t>> read_prefix(const std::string &path, std::size_t n) {
    auto f = DataFile::open_read(path);
    if (!f) return std::nullopt;
    std::vector<uint8_t> bytes(n);
    int64_t got = f->read(bytes);
    if (got < 0) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
}

std::optional<std::vector<uint8_t>> read_whole(const std::string &path, uint64_t max_bytes) {
    auto f = DataFile::open_read(path);
    if (!f) return std::nullopt;
    const uint64_t n = f->size();
    if (n > max_bytes) return std::nullopt;
    std::vector<uint8_t> bytes(static_cast<std::size_t>(n));
    if (!f->read_at(0, bytes)) return std::nullopt;
    return bytes;
}

}  // namespace fileservices
