// A WAVE render past 4 GiB: the sound writer must turn it into RF64, whose
// sizes are 64-bit, so that it reads back whole, while a small file stays a
// plain RIFF WAVE.  Slow and disk-hungry (over 4 GiB written to the build
// folder), so it carries the ctest label "large" and only the full test run
// asks for it.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "soundfile.hpp"

namespace fs = std::filesystem;
using maxhost::SampleFormat;
using maxhost::SoundWriter;

namespace {

// Eight float channels make 32 bytes a frame: 2^27 frames fill 4 GiB of
// sound data exactly, and two blocks more take the file past it.
constexpr int kChannels = 8;
constexpr std::size_t kBlock = 65536;
constexpr std::size_t kFrameBytes = kChannels * sizeof(float);
constexpr sf_count_t kFrames = (sf_count_t{1} << 27) + 2 * kBlock;
// The first frame past 4 GiB of sound data; the blocks on either side of it
// are marked, and so is the last.
constexpr sf_count_t kCrossing = sf_count_t{1} << 27;

// A sample that differs per frame, per channel and per block, so that a
// block read from the wrong place (an offset wrapped at 32 bits) shows.
float mark(sf_count_t frame, int channel) {
    return static_cast<float>((frame % 1021) * kChannels + channel) / 16384.0f - 0.5f;
}

// Removes the file when the test ends, however it ends.
struct Removed {
    fs::path path;
    ~Removed() {
        std::error_code ec;
        fs::remove(path, ec);
    }
};

std::string first_four_bytes(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::string id(4, '\0');
    in.read(id.data(), 4);
    return id;
}

// Writes frames [from, from + count) of the file, marked or zeros.
bool write_block(SoundWriter &w, sf_count_t from, std::size_t count, std::vector<std::vector<float>> &buf,
                 bool marked, std::string *error) {
    std::vector<const float *> ptrs(kChannels);
    for (int j = 0; j < kChannels; ++j) {
        for (std::size_t k = 0; k < count; ++k)
            buf[j][k] = marked ? mark(from + static_cast<sf_count_t>(k), j) : 0.0f;
        ptrs[j] = buf[j].data();
    }
    return w.write(ptrs.data(), count, error);
}

// Reads count frames at `from` and compares them with the marks.
void expect_marked(SNDFILE *f, sf_count_t from, std::size_t count) {
    ASSERT_EQ(sf_seek(f, from, SEEK_SET), from);
    std::vector<float> got(count * kChannels);
    ASSERT_EQ(sf_readf_float(f, got.data(), static_cast<sf_count_t>(count)), static_cast<sf_count_t>(count));
    int wrong = 0;
    for (std::size_t k = 0; k < count; ++k)
        for (int j = 0; j < kChannels; ++j)
            if (got[k * kChannels + j] != mark(from + static_cast<sf_count_t>(k), j)) ++wrong;
    EXPECT_EQ(wrong, 0) << "at frame " << from;
}

}  // namespace

TEST(SoundWriterLarge, WaveOver4GiBBecomesRf64AndReadsBackWhole) {
    const fs::path dir = fs::path(MAXHOST_BINARY_DIR) / "large-file-test";
    fs::create_directories(dir);
    const Removed file{dir / "over-4-gib.wav"};
    fs::remove(file.path);

    const auto need = static_cast<std::uintmax_t>(kFrames) * kFrameBytes + (std::uintmax_t{1} << 30);
    const auto room = fs::space(dir).available;
    ASSERT_GE(room, need) << "the build folder's disk has " << (room >> 20) << " MiB free; this test needs "
                          << (need >> 20) << " MiB for a WAVE file over 4 GiB";

    std::string error;
    auto w = SoundWriter::open(file.path.string(), kChannels, 48000, SampleFormat::Float32, &error);
    ASSERT_TRUE(w) << error;
    std::vector<std::vector<float>> buf(kChannels, std::vector<float>(kBlock));
    for (sf_count_t at = 0; at < kFrames; at += kBlock) {
        const bool marked = at >= kCrossing - static_cast<sf_count_t>(kBlock);
        ASSERT_TRUE(write_block(*w, at, kBlock, buf, marked, &error)) << "at frame " << at << ": " << error;
    }
    ASSERT_TRUE(w->close(&error)) << error;

    EXPECT_GT(fs::file_size(file.path), std::uintmax_t{1} << 32);
    EXPECT_EQ(first_four_bytes(file.path), "RF64");
    SF_INFO info{};
    SNDFILE *f = sf_open(file.path.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_RF64);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_EQ(info.channels, kChannels);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.frames, kFrames);
    expect_marked(f, kCrossing - static_cast<sf_count_t>(kBlock / 2), kBlock);
    expect_marked(f, kFrames - static_cast<sf_count_t>(kBlock), kBlock);
    // Nothing past the last frame written.
    std::vector<float> past(kChannels);
    EXPECT_EQ(sf_readf_float(f, past.data(), 1), 0);
    sf_close(f);
}

TEST(SoundWriterLarge, SmallWaveStaysRiff) {
    const fs::path dir = fs::path(MAXHOST_BINARY_DIR) / "large-file-test";
    fs::create_directories(dir);
    const Removed file{dir / "small.wav"};

    std::string error;
    auto w = SoundWriter::open(file.path.string(), kChannels, 48000, SampleFormat::Float32, &error);
    ASSERT_TRUE(w) << error;
    std::vector<std::vector<float>> buf(kChannels, std::vector<float>(kBlock));
    ASSERT_TRUE(write_block(*w, 0, kBlock, buf, true, &error)) << error;
    ASSERT_TRUE(w->close(&error)) << error;

    EXPECT_EQ(first_four_bytes(file.path), "RIFF");
    SF_INFO info{};
    SNDFILE *f = sf_open(file.path.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    // RIFF with or without the extensible format header; anything but RF64.
    const int type = info.format & SF_FORMAT_TYPEMASK;
    EXPECT_TRUE(type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX) << std::hex << type;
    EXPECT_EQ(info.frames, static_cast<sf_count_t>(kBlock));
    expect_marked(f, 0, kBlock);
    sf_close(f);
}
