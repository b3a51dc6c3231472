// Data files: a read-only file with a 64-bit position, and the small
// whole-file reads the parsers need.  Over POSIX (data_file.cpp) or Win32
// (data_file_win32.cpp); paths are UTF-8 text on both.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fileservices {

// Random access to a byte range, so that one parser serves a file on disk
// and a buffer in memory (tests, fuzzing) alike.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Fills out from offset; false when any byte of it lies past the end or
    // cannot be read.
    virtual bool read_at(uint64_t offset, std::span<uint8_t> out) const = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read_at(uint64_t offset, std::span<uint8_t> out) const override;

private:
    std::span<const uint8_t> bytes_;
};

// An open data file.  The position is ours, not the system's: every read
// names its offset, so the position only moves when a call says so.
class DataFile final : public ByteSource {
public:
    enum class From { Mark, Start, End };

    // Null when the file cannot be opened for reading or is not a regular
    // file.
    static std::unique_ptr<DataFile> open_read(const std::string &path);
    ~DataFile() override;
    DataFile(const DataFile &) = delete;
    DataFile &operator=(const DataFile &) = delete;

    uint64_t size() const override;
    bool read_at(uint64_t offset, std::span<uint8_t> out) const override;

    int64_t pos() const { return pos_; }
    // Moves the position by offset from the given place.  A position before
    // the start or past the end fails and leaves the position as it was;
    // the end itself is a valid position.
    bool set_pos(From from, int64_t offset);
    // Reads up to out.size() bytes at the position and moves past them;
    // gives the number read (short at the end of the file), or -1 on error.
    int64_t read(std::span<uint8_t> out);

private:
    // The system's handle: a descriptor, or a Win32 HANDLE.
    explicit DataFile(intptr_t native) : native_(native) {}
    intptr_t native_;
    int64_t pos_ = 0;
};

// True when path names a regular file (not a folder, not a device).
bool is_regular_file(const std::string &path);

// The first n bytes of a file, fewer when it is shorter; nothing when it
// cannot be read.
std::optional<std::vector<uint8_t>> read_prefix(const std::string &path, std::size_t n);
// The whole file when it holds at most max_bytes; nothing when it is larger
// or cannot be read.
std::optional<std::vector<uint8_t>> read_whole(const std::string &path, uint64_t max_bytes);

}  // namespace fileservices
