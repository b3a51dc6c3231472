#include "soundfile.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>

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

struct SoundWriter::File {
    SndfileHandle handle;
};

SoundWriter::SoundWriter(std::unique_ptr<File> file, int channels, double sample_rate)
    : file_(std::move(file)), channels_(channels), sample_rate_(sample_rate) {
    interleaved_.resize(kChunkFrames * static_cast<std::size_t>(channels));
}

SoundWriter::~SoundWriter() = default;

std::unique_ptr<SoundWriter> SoundWriter::open(const std::string &path, int channels, double sample_rate,
                                               SampleFormat format, std::string *error) {
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
    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(sample_rate));
    info.channels = channels;
    info.format = *code;
    if (!sf_format_check(&info)) {
        fail(error, "libsndfile cannot write this format");
        return nullptr;
    }
    auto file = std::make_unique<File>();
    file->handle.reset(sf_open(path.c_str(), SFM_WRITE, &info));
    if (!file->handle) {
        fail(error, sf_strerror(nullptr));
        return nullptr;
    }
    // A WAVE file stays a plain RIFF WAVE (with the extensible header) until
    // its sizes no longer fit 32 bits; then libsndfile writes it as RF64,
    // rather than sizes that wrap and a file that reads back cut short.
    if ((*code & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64)
        sf_command(file->handle.get(), SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    return std::unique_ptr<SoundWriter>(new SoundWriter(std::move(file), channels, sample_rate));
}

bool SoundWriter::write(const float *const *channels, std::size_t frames, std::string *error) {
    if (!file_ || !file_->handle) return fail(error, "the file is closed");
    const auto n = static_cast<std::size_t>(channels_);
    for (std::size_t start = 0; start < frames; start += kChunkFrames) {
        const std::size_t count = std::min(kChunkFrames, frames - start);
        for (std::size_t k = 0; k < count; ++k)
            for (std::size_t j = 0; j < n; ++j) interleaved_[k * n + j] = channels[j][start + k];
        const auto want = static_cast<sf_count_t>(count);
        if (sf_writef_float(file_->handle.get(), interleaved_.data(), want) != want)
            return fail(error, sf_strerror(file_->handle.get()));
    }
    return true;
}

bool SoundWriter::close(std::string *error) {
    if (!file_ || !file_->handle) return true;
    // Closing writes the header; a failure there is a failed write too.
    if (sf_close(file_->handle.release()) != 0) return fail(error, "could not finish the file");
    return true;
}

bool write_sound(const std::string &path, const std::vector<std::vector<float>> &channels, double sample_rate,
                 SampleFormat format, std::string *error) {
    auto writer = SoundWriter::open(path, static_cast<int>(channels.size()), sample_rate, format, error);
    if (!writer) return false;
    std::size_t frames = 0;
    for (const auto &c : channels) frames = std::max(frames, c.size());
    const std::size_t n = channels.size();
    // Chunk by chunk, each channel padded with zeros past its end.
    std::vector<std::vector<float>> chunk(n, std::vector<float>(kChunkFrames));
    std::vector<const float *> ptrs(n);
    for (std::size_t start = 0; start < frames; start += kChunkFrames) {
        const std::size_t count = std::min(kChunkFrames, frames - start);
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t k = 0; k < count; ++k)
                chunk[j][k] = start + k < channels[j].size() ? channels[j][start + k] : 0.0f;
            ptrs[j] = chunk[j].data();
        }
        if (!writer->write(ptrs.data(), count, error)) return false;
    }
    return writer->close(error);
}

}  // namespace maxhost
