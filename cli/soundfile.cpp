#include "soundfile.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

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
constexpr sf_count_t kChunkFrames = 4096;

}  // namespace

bool read_first_channel(const std::string &path, std::vector<float> &samples,
                        std::string *error) {
    SF_INFO info{};
    SndfileHandle file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) return fail(error, sf_strerror(nullptr));
    if (info.channels < 1) return fail(error, "the file has no channels");

    samples.clear();
    std::vector<float> buffer(static_cast<std::size_t>(kChunkFrames) *
                              static_cast<std::size_t>(info.channels));
    while (true) {
        sf_count_t got = sf_readf_float(file.get(), buffer.data(), kChunkFrames);
        if (got <= 0) break;
        for (sf_count_t k = 0; k < got; ++k)
            samples.push_back(buffer[static_cast<std::size_t>(k * info.channels)]);
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) return fail(error, sf_strerror(file.get()));
    return true;
}

bool write_float_wav(const std::string &path,
                     const std::vector<std::vector<float>> &channels, double sample_rate,
                     std::string *error) {
    if (channels.empty()) return fail(error, "nothing to write: no channels");
    if (!(sample_rate >= 1.0 && sample_rate <= std::numeric_limits<int>::max()))
        return fail(error, "the sample rate does not fit a WAV file");

    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(sample_rate));
    info.channels = static_cast<int>(channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    if (!sf_format_check(&info)) return fail(error, "libsndfile refuses this WAV format");

    SndfileHandle file(sf_open(path.c_str(), SFM_WRITE, &info));
    if (!file) return fail(error, sf_strerror(nullptr));

    std::size_t frames = 0;
    for (const auto &c : channels) frames = std::max(frames, c.size());
    const std::size_t n = channels.size();
    std::vector<float> buffer(static_cast<std::size_t>(kChunkFrames) * n);
    for (std::size_t start = 0; start < frames; start += kChunkFrames) {
        std::size_t count = std::min<std::size_t>(kChunkFrames, frames - start);
        for (std::size_t k = 0; k < count; ++k)
            for (std::size_t j = 0; j < n; ++j)
                buffer[k * n + j] = start + k < channels[j].size() ? channels[j][start + k] : 0.0f;
        auto want = static_cast<sf_count_t>(count);
        if (sf_writef_float(file.get(), buffer.data(), want) != want)
            return fail(error, sf_strerror(file.get()));
    }
    // Closing writes the header; a failure there is a failed write too.
    if (sf_close(file.release()) != 0) return fail(error, "could not finish the file");
    return true;
}

}  // namespace maxhost
