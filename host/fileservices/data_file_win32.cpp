// Data files over Win32.  Paths arrive as UTF-8 and are opened through the
// wide-character calls, so names outside the ANSI code page work; every
// read names its offset (an OVERLAPPED position), so the handle's own
// position is never used.
#include <windows.h>

#include <limits>
#include <optional>
#include <string>

#include "data_file.hpp"

namespace fileservices {

namespace {

HANDLE handle_of(intptr_t native) { return reinterpret_cast<HANDLE>(native); }

// Nothing for text that is not UTF-8.
std::optional<std::wstring> wide(const std::string &utf8) {
    if (utf8.empty() || utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return std::nullopt;
    const int in = static_cast<int>(utf8.size());
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), in, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), in, w.data(), n) != n)
        return std::nullopt;
    return w;
}

bool regular(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

}  // namespace

std::unique_ptr<DataFile> DataFile::open_read(const std::string &path) {
    const auto name = wide(path);
    if (!name) return nullptr;
    HANDLE h =
        CreateFileW(name->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || !regular(info.dwFileAttributes) ||
        GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return nullptr;
    }
    return std::unique_ptr<DataFile>(new DataFile(reinterpret_cast<intptr_t>(h)));
}

DataFile::~DataFile() { CloseHandle(handle_of(native_)); }

uint64_t DataFile::size() const {
    LARGE_INTEGER n{};
    if (!GetFileSizeEx(handle_of(native_), &n) || n.QuadPart < 0) return 0;
    return static_cast<uint64_t>(n.QuadPart);
}

bool DataFile::read_at(uint64_t offset, std::span<uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const uint64_t at = offset + done;
        if (at < offset) return false;
        const std::size_t left = out.size() - done;
        const DWORD want = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        if (!ReadFile(handle_of(native_), out.data() + done, want, &got, &where) || got == 0) return false;
        done += got;
    }
    return true;
}

bool is_regular_file(const std::string &path) {
    const auto name = wide(path);
    return name && regular(GetFileAttributesW(name->c_str()));
}

}  // namespace fileservices
