#include "soundfile.hpp"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace maxhost {
namespace {

struct SndfileCloser {
    void operator()(SNDFILE *f) const { sf_close(f); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

bool fail(std::string *error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

// Frames moved per libsndfile call; keeps the interleaved buffer small
// whatever the file's length.
constexpr std::size_t kChunkFrames = 4096;

std::string extension_of(const std::string &path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// libsndfile's format code for the name and the sample format.
std::optional<int> format_code(const std::string &path, SampleFormat format, std::string *error) {
    const std::string ext = extension_of(path);
    int container = 0;
    if (ext == "wav") {
        container = SF_FORMAT_RF64;
    } else if (ext == "aif" || ext == "aiff") {
        container = SF_FORMAT_AIFF;
    } else if (ext == "flac") {
        container = SF_FORMAT_FLAC;
    } else if (ext == "w64") {
        container = SF_FORMAT_W64;
    } else {
        fail(error, "write a name ending in .wav, .aif, .aiff, .flac or .w64");
        return std::nullopt;
    }
    if (container == SF_FORMAT_FLAC && format == SampleFormat::Float32) {
        fail(error, "FLAC holds 16 or 24 bits, not floats (use --bits 16 or --bits 24)");
        return std::nullopt;
    }
    const int subtype = format == SampleFormat::Int16   ? SF_FORMAT_PCM_16
                        : format == SampleFormat::Int24 ? SF_FORMAT_PCM_24
                                                        : SF_FORMAT_FLOAT;
    return container | subtype;
}

}  // namespace

bool writable_name(const std::string &path, SampleFormat format, std::string *error) {
    return format_code(path, format, error).has_value();
}

std::optional<SampleFormat> parse_sample_format(const std::string &text) {
    if (text == "16") return SampleFormat::Int16;
    if (text == "24") return SampleFormat::Int24;
    if (text == "float" || text == "32") return SampleFormat::Float32;
    return std::nullopt;
}

bool read_first_channel(const std::string &path, std::vector<float> &samples, std::string *error) {
    SF_INFO info{};
    SndfileHandle file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) return fail(error, sf_strerror(nullptr));
    if (info.channels < 1) return fail(error, "the file has no channels");

    samples.clear();
    std::vector<float> buffer(kChunkFrames * static_cast<std::size_t>(info.channels));
    while (true) {
        sf_count_t got = sf_readf_float(file.get(), buffer.data(), static_cast<sf_count_t>(kChunkFrames));
        if (got <= 0) break;
        for (sf_count_t k = 0; k < got; ++k)
            samples.push_back(buffer[static_cast<std::size_t>(k * info.channels)]);
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) return fail(error, sf_strerror(file.get()));
    return true;
}

OutputFile OutputFile::create(const std::string &path, std::string *error) {
    OutputFile f;
    // What libsndfile's own open asks for a file written from the start.
    do {
        f.fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (f.fd_ < 0 && errno == EINTR);
    if (f.fd_ < 0) fail(error, std::strerror(errno));
    return f;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
}

OutputFile::OutputFile(OutputFile &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

OutputFile &OutputFile::operator=(OutputFile &&other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> OutputFile::identity() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return std::nullopt;
    return std::pair<std::uint64_t, std::uint64_t>(st.st_dev, st.st_ino);
}

int OutputFile::release() { return std::exchange(fd_, -1); }

// libsndfile writes through these calls (sf_open_virtual), so that every
// short write is seen here: its own return values do not tell of the
// writes it makes while closing a FLAC file.
struct SoundWriter::File {
    int fd = -1;
    SNDFILE *handle = nullptr;
    int write_errno = 0;  // of the first write that failed; 0 while none has
    // Set for a container whose sizes are 32 bits (AIFF).
    std::optional<std::uint64_t> max_frames;
    std::uint64_t header_bytes = 0;
    std::uint64_t frame_bytes = 0;
    bool updates_header = false;

    ~File() {
        if (handle) sf_close(handle);
        if (fd >= 0) ::close(fd);
    }

    static sf_count_t length(void *user) {
        struct stat st {};
        return ::fstat(static_cast<File *>(user)->fd, &st) == 0 ? static_cast<sf_count_t>(st.st_size) : -1;
    }
    static sf_count_t seek(sf_count_t offset, int whence, void *user) {
        return ::lseek(static_cast<File *>(user)->fd, static_cast<off_t>(offset), whence);
    }
    static sf_count_t read(void *ptr, sf_count_t count, void *user) {
        const ssize_t n = ::read(static_cast<File *>(user)->fd, ptr, static_cast<std::size_t>(count));
        return n < 0 ? 0 : n;
    }
    static sf_count_t write(const void *ptr, sf_count_t count, void *user) {
        auto *f = static_cast<File *>(user);
        const auto *bytes = static_cast<const char *>(ptr);
        sf_count_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(f->fd, bytes + done, static_cast<std::size_t>(count - done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (f->write_errno == 0) f->write_errno = n < 0 ? errno : EIO;
                break;
            }
            done += n;
        }
        return done;
    }
    static sf_count_t tell(void *user) { return ::lseek(static_cast<File *>(user)->fd, 0, SEEK_CUR); }
};

SoundWriter::SoundWriter(std::unique_ptr<File> file, int channels, double sample_rate)
    : file_(std::move(file)), channels_(channels), sample_rate_(sample_rate) {
    interleaved_.resize(kChunkFrames * static_cast<std::size_t>(channels));
}

SoundWriter::~SoundWriter() = default;

std::unique_ptr<SoundWriter> SoundWriter::open(const std::string &path, int channels, double sample_rate,
                                               SampleFormat format, std::string *error) {
    if (!writable_name(path, format, error)) return nullptr;
    OutputFile file = OutputFile::create(path, error);
    if (!file.valid()) return nullptr;
    return open(std::move(file), path, channels, sample_rate, format, error);
}

std::unique_ptr<SoundWriter> SoundWriter::open(OutputFile output, const std::string &path, int channels,
                                               double sample_rate, SampleFormat format, std::string *error) {
    if (channels < 1) {
        fail(error, "nothing to write: no channels");
        return nullptr;
    }
    if (!(sample_rate >= 1.0 && sample_rate <= std::numeric_limits<int>::max())) {
        fail(error, "the sample rate does not fit a sound file");
        return nullptr;
    }
    const auto code = format_code(path, format, error);
    if (!code) return nullptr;
    if (!output.valid()) {
        fail(error, "the file is not open");
        return nullptr;
    }
    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(sample_rate));
    info.channels = channels;
    info.format = *code;
    if (!sf_format_check(&info)) {
        fail(error, "libsndfile cannot write this format");
        return nullptr;
    }
    auto file = std::make_unique<File>();
    file->fd = output.release();
    SF_VIRTUAL_IO io{File::length, File::seek, File::read, File::write, File::tell};
    file->handle = sf_open_virtual(&io, SFM_WRITE, &info, file.get());
    if (!file->handle) {
        fail(error, file->write_errno ? std::strerror(file->write_errno) : sf_strerror(nullptr));
        return nullptr;
    }
    const int container = *code & SF_FORMAT_TYPEMASK;
    // A WAVE file stays a plain RIFF WAVE (with the extensible header) until
    // its sizes no longer fit 32 bits; then libsndfile writes it as RF64,
    // rather than sizes that wrap and a file that reads back cut short.
    if (container == SF_FORMAT_RF64) sf_command(file->handle, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    file->updates_header = container != SF_FORMAT_FLAC;
    if (container == SF_FORMAT_AIFF) {
        // The header is written when the file is opened, and keeps its size.
        const sf_count_t header = File::length(file.get());
        file->header_bytes = header > 0 ? static_cast<std::uint64_t>(header) : 0;
        file->frame_bytes = static_cast<std::uint64_t>(channels) * (format == SampleFormat::Int16   ? 2
                                                                    : format == SampleFormat::Int24 ? 3
                                                                                                    : 4);
    }
    auto writer = std::unique_ptr<SoundWriter>(new SoundWriter(std::move(file), channels, sample_rate));
    if (container == SF_FORMAT_AIFF) writer->set_size_field_max(kSizeFieldMax);
    return writer;
}

void SoundWriter::set_size_field_max(std::uint64_t bytes) {
    File &f = *file_;
    if (f.frame_bytes == 0) return;
    // The FORM size counts every byte after its own 8; the sound data is
    // padded to an even length.
    const std::uint64_t room = bytes + 8 > f.header_bytes ? bytes + 8 - f.header_bytes : 0;
    std::uint64_t frames = room / f.frame_bytes;
    if (frames > 0 && (frames * f.frame_bytes) % 2 == 1 && frames * f.frame_bytes + 1 > room) --frames;
    f.max_frames = frames;
}

bool SoundWriter::write_frames(const float *const *channels, std::size_t start, std::size_t frames,
                               std::string *error) {
    const auto n = static_cast<std::size_t>(channels_);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t count = std::min(kChunkFrames, frames - done);
        for (std::size_t k = 0; k < count; ++k)
            for (std::size_t j = 0; j < n; ++j) interleaved_[k * n + j] = channels[j][start + done + k];
        const auto want = static_cast<sf_count_t>(count);
        const sf_count_t wrote = sf_writef_float(file_->handle, interleaved_.data(), want);
        if (file_->write_errno) return fail(error, std::strerror(file_->write_errno));
        if (wrote != want) return fail(error, sf_strerror(file_->handle));
        done += count;
        frames_written_ += count;
        frames_since_header_ += count;
    }
    return true;
}

bool SoundWriter::write(const float *const *channels, std::size_t frames, std::string *error) {
    if (!file_ || !file_->handle) return fail(error, "the file is closed");
    if (file_->write_errno) return fail(error, std::strerror(file_->write_errno));
    std::size_t allowed = frames;
    if (file_->max_frames)
        allowed =
            static_cast<std::size_t>(std::min<std::uint64_t>(frames, *file_->max_frames - frames_written_));
    if (!write_frames(channels, 0, allowed, error)) return false;
    // About once a second of sound, so that a killed process leaves a file
    // that reads up to here.
    if (file_->updates_header && frames_since_header_ >= static_cast<std::uint64_t>(sample_rate_)) {
        sf_command(file_->handle, SFC_UPDATE_HEADER_NOW, nullptr, 0);
        frames_since_header_ = 0;
        if (file_->write_errno) return fail(error, std::strerror(file_->write_errno));
    }
    if (allowed < frames)
        return fail(error,
                    "an AIFF file holds at most " + std::to_string(*file_->max_frames) + " frames of " +
                        std::to_string(channels_) +
                        " channels in this sample format (its sizes are 32 bits): the file ends there; "
                        ".wav (which becomes RF64) and .w64 hold more, and .flac with --bits 16|24");
    return true;
}

bool SoundWriter::close(std::string *error) {
    if (!file_ || !file_->handle) return true;
    // Closing writes the header (and FLAC's last frame); a failure there is
    // a failed write too, even where sf_close says nothing of it.
    const int closed = sf_close(std::exchange(file_->handle, nullptr));
    const int fd = std::exchange(file_->fd, -1);
    const int fd_closed = ::close(fd);
    const int fd_errno = errno;
    if (file_->write_errno) return fail(error, std::strerror(file_->write_errno));
    if (closed != 0) return fail(error, "could not finish the file");
    if (fd_closed != 0 && fd_errno != EINTR) return fail(error, std::strerror(fd_errno));
    return true;
}

bool write_sound(SoundWriter &writer, const std::vector<std::vector<float>> &channels,
                 const std::function<bool()> &stop, std::string *error) {
    std::size_t frames = 0;
    for (const auto &c : channels) frames = std::max(frames, c.size());
    const std::size_t n = channels.size();
    // Chunk by chunk, each channel padded with zeros past its end.
    std::vector<std::vector<float>> chunk(n, std::vector<float>(kChunkFrames));
    std::vector<const float *> ptrs(n);
    for (std::size_t start = 0; start < frames && !(stop && stop()); start += kChunkFrames) {
        const std::size_t count = std::min(kChunkFrames, frames - start);
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t k = 0; k < count; ++k)
                chunk[j][k] = start + k < channels[j].size() ? channels[j][start + k] : 0.0f;
            ptrs[j] = chunk[j].data();
        }
        if (!writer.write(ptrs.data(), count, error)) {
            writer.close(nullptr);
            return false;
        }
    }
    return writer.close(error);
}

}  // namespace maxhost
