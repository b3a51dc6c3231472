// Compares two sound files sample for sample, as floats:
//
//   pd_wavcmp REFERENCE OTHER
//
// Exit status 0 when both hold the same number of channels and frames and
// every sample is bit-identical; 1, with the first difference on standard
// error, otherwise.  A reference channel that is silent throughout fails
// too: two silent renderings agree without proving anything.
#include <sndfile.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Sound {
    int channels = 0;
    std::vector<float> samples;  // interleaved
};

bool read_sound(const char *path, Sound &out) {
    SF_INFO info{};
    SNDFILE *f = sf_open(path, SFM_READ, &info);
    if (!f) {
        std::fprintf(stderr, "pd_wavcmp: %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    out.channels = info.channels;
    out.samples.assign(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels), 0.0f);
    const sf_count_t got = sf_readf_float(f, out.samples.data(), info.frames);
    sf_close(f);
    if (got != info.frames) {
        std::fprintf(stderr, "pd_wavcmp: %s: short read\n", path);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pd_wavcmp REFERENCE OTHER\n");
        return 2;
    }
    Sound ref, other;
    if (!read_sound(argv[1], ref) || !read_sound(argv[2], other)) return 1;
    if (ref.channels != other.channels || ref.samples.size() != other.samples.size()) {
        std::fprintf(stderr, "pd_wavcmp: %d channels, %zu samples against %d channels, %zu samples\n",
                     ref.channels, ref.samples.size(), other.channels, other.samples.size());
        return 1;
    }
    const auto channels = static_cast<std::size_t>(ref.channels);
    std::vector<bool> sounding(channels, false);
    for (std::size_t i = 0; i < ref.samples.size(); ++i) {
        if (ref.samples[i] != 0.0f) sounding[i % channels] = true;
        if (std::memcmp(&ref.samples[i], &other.samples[i], sizeof(float)) != 0) {
            std::fprintf(stderr, "pd_wavcmp: frame %zu, channel %zu: %.9g against %.9g\n", i / channels,
                         i % channels, static_cast<double>(ref.samples[i]),
                         static_cast<double>(other.samples[i]));
            return 1;
        }
    }
    for (std::size_t c = 0; c < channels; ++c) {
        if (!sounding[c]) {
            std::fprintf(stderr, "pd_wavcmp: channel %zu of the reference is silent\n", c);
            return 1;
        }
    }
    std::printf("pd_wavcmp: %zu frames of %d channels agree\n", ref.samples.size() / channels, ref.channels);
    return 0;
}
