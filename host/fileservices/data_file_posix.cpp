// Data files over POSIX: reads go through pread, so the descriptor's own
// position is never used.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "data_file.hpp"

namespace fileservices {

namespace {
int fd_of(intptr_t native) { return static_cast<int>(native); }
}  // namespace

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

DataFile::~DataFile() { ::close(fd_of(native_)); }

uint64_t DataFile::size() const {
    struct stat st {};
    if (::fstat(fd_of(native_), &st) != 0 || st.st_size < 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

bool DataFile::read_at(uint64_t offset, std::span<uint8_t> out) const {
    if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n =
            ::pread(fd_of(native_), out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool is_regular_file(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace fileservices
