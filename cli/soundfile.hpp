// Sound files for scripts, through libsndfile: a file's first channel to
// feed a signal inlet, and a box's outlets written out, whole or as a run
// goes.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace maxhost {

// The first channel of any file libsndfile reads, as floats (integer
// formats scaled to -1..1), at whatever rate the file has.  False with
// *error set when the file cannot be read.
bool read_first_channel(const std::string &path, std::vector<float> &samples, std::string *error);

// How samples are stored in a written file.
enum class SampleFormat { Int16, Int24, Float32 };

// "16", "24" or "float"; nothing for anything else.
std::optional<SampleFormat> parse_sample_format(const std::string &text);

// A sound file written vector by vector, so that memory does not grow with
// its length.  The container follows the name's extension:
//   .wav   WAVE with the extensible format header, becoming RF64 when it
//          grows past what a RIFF size field holds (4 GiB)
//   .aif .aiff  AIFF (AIFC for floats)
//   .flac  FLAC (16 or 24 bits)
//   .w64   Sony Wave64
// The rate is rounded to whole hertz, as the headers store it.
class SoundWriter {
public:
    // Null with *error set when the name's extension is none of the above,
    // the container cannot hold the format, or the file cannot be made.
    static std::unique_ptr<SoundWriter> open(const std::string &path, int channels, double sample_rate,
                                             SampleFormat format, std::string *error);
    ~SoundWriter();
    SoundWriter(const SoundWriter &) = delete;
    SoundWriter &operator=(const SoundWriter &) = delete;

    // Appends frames samples of each channel (channels[j] is channel j).
    bool write(const float *const *channels, std::size_t frames, std::string *error);
    // Finishes the header and closes the file; false when that failed.
    bool close(std::string *error);

    int channels() const { return channels_; }
    double sample_rate() const { return sample_rate_; }

private:
    struct File;
    SoundWriter(std::unique_ptr<File> file, int channels, double sample_rate);
    std::unique_ptr<File> file_;
    int channels_;
    double sample_rate_;
    std::vector<float> interleaved_;
};

// Whether a file of this name can be written in this format (its
// extension names a container that holds it); false with *error set.
bool writable_name(const std::string &path, SampleFormat format, std::string *error);

// Writes channel j from channels[j] to a new file; a shorter channel is
// padded with zeros to the longest.
bool write_sound(const std::string &path, const std::vector<std::vector<float>> &channels, double sample_rate,
                 SampleFormat format, std::string *error);

}  // namespace maxhost
