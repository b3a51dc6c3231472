#include "example_files.hpp"

namespace examples {

using namespace writers;

// A triangle wave whose amplitude falls linearly to silence.
std::vector<int16_t> example_tone(std::size_t frames, uint32_t period) {
    std::vector<int16_t> out(frames);
    const int64_t peak = 12000;
    const int64_t half = period / 2;
    for (std::size_t n = 0; n < frames; ++n) {
        const int64_t phase = static_cast<int64_t>(n % period);
        // -half..half..-half over one period.
        const int64_t tri = phase < half ? 2 * phase - half : half - 2 * (phase - half);
        const int64_t level = peak * static_cast<int64_t>(frames - n) / static_cast<int64_t>(frames);
        out[n] = static_cast<int16_t>(tri * level / half);
    }
    return out;
}

// The examples look like files any editor writes: cue sample offsets equal
// to the positions, a plain sampler header, no filler where a test would
// put some.
std::vector<std::pair<std::string, Bytes>> example_files() {
    std::vector<std::pair<std::string, Bytes>> files;

    // 50 ms at 44100 Hz: three labelled cue points and one loop.
    {
        constexpr uint32_t rate = 44100;
        files.emplace_back("markers.wav",
                           wave_file({fmt_chunk(rate), cue_chunk({{1, 0, 0}, {2, 441, 441}, {3, 1323, 1323}}),
                                      adtl_list({{1, "onset"}, {2, "peak"}, {3, "fade"}}),
                                      smpl_chunk({{441, 1764}}, {}, {0, 0, 1000000000u / rate}),
                                      wave_data_chunk(example_tone(2205, 100))}));
    }
    // 100 ms at 22050 Hz: three markers, one name ending in a blank as some
    // editors leave it.
    {
        constexpr uint32_t rate = 22050;
        constexpr uint32_t frames = 2205;
        files.emplace_back(
            "markers.aif",
            form_file("AIFF", {comm_chunk(rate, frames),
                               mark_chunk({{1, 0, "hit"}, {2, 441, "loop "}, {3, 1764, "tail"}}),
                               ssnd_chunk(example_tone(frames, 50))}));
    }
    // 50 ms at 48000 Hz; the rate and the markers live in the resource fork.
    {
        files.emplace_back("markers.sd2", sd2_data(example_tone(2400, 96)));
        files.emplace_back(
            "markers.sd2.rsrc",
            resource_fork(
                {{"STR ", 1001, pascal_string("48000")},
                 {"sdML", 1000, sdml_data({{480, 1, "downbeat", {}, 0}, {1920, 2, "upbeat", {}, 0}})}},
                true));
    }
    return files;
}

}  // namespace examples
