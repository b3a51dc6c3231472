#include "data_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace fileservices {

bool MemorySource::read_at(uint64_t offset, std::span<uint8_t> out) const {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
    if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
}

std::unique_ptr<DataFile> DataFile::open_read(const std::string &path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<DataFile>(new DataFile(fd));
}

DataFile::~DataFile() { ::close(fd_); }

uint64_t DataFile::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

bool DataFile::read_at(uint64_t offset, std::span<uint8_t> out) const {
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                            static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
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
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                            static_cast<off_t>(pos_) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            pos_ += static_cast<int64_t>(done);
            return -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    pos_ += static_cast<int64_t>(done);
    return static_cast<int64_t>(done);
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
