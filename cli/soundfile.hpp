// Sound files for scripts, through libsndfile: a file's first channel to
// feed a signal inlet, and a box's outlets written out, whole or as a run
// goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
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

// A file opened for writing and owned: made (or emptied) as soon as a
// recording is asked for, so that a name that cannot be written fails
// there, and handed to a SoundWriter once the sound's shape is known.
class OutputFile {
public:
    OutputFile() = default;
    // Makes path, or empties it when it exists; invalid with *error set (the
    // system's reason, such as "No such file or directory") when it cannot.
    static OutputFile create(const std::string &path, std::string *error);
    ~OutputFile();
    OutputFile(OutputFile &&other) noexcept;
    OutputFile &operator=(OutputFile &&other) noexcept;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    bool valid() const { return fd_ >= 0; }
    // Device and inode, which name the file whatever path reaches it.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> identity() const;
    // Hands the descriptor over; the caller closes it.
    int release();

private:
    int fd_ = -1;
};

// A sound file written vector by vector, so that memory does not grow with
// its length.  The container follows the name's extension:
//   .wav   WAVE with the extensible format header, becoming RF64 when it
//          grows past what a RIFF size field holds (4 GiB)
//   .aif .aiff  AIFF (AIFC for floats), whose sizes are 32 bits: a file
//          stops at a FORM size of 0xFFFFFFFF, in whole frames
//   .flac  FLAC (16 or 24 bits)
//   .w64   Sony Wave64
// The rate is rounded to whole hertz, as the headers store it.  The header
// of a .wav, .w64 or AIFF file is brought up to date about once a second of
// sound, so that a process killed while writing leaves a file that reads
// up to that point; FLAC's cannot be rewritten before the end.  Every byte
// goes through the writer's own calls to the system, so a write that comes
// short (a full disk, a file-size limit) is seen, even where libsndfile
// would close the file without a word (FLAC's last frame and header).
class SoundWriter {
public:
    // The largest FORM size of a container whose sizes are 32 bits.
    static constexpr std::uint64_t kSizeFieldMax = 0xFFFFFFFFu;

    // Null with *error set when the name's extension is none of the above,
    // the container cannot hold the format, or the file cannot be made.
    static std::unique_ptr<SoundWriter> open(const std::string &path, int channels, double sample_rate,
                                             SampleFormat format, std::string *error);
    // The same into a file made already (path gives the container).
    static std::unique_ptr<SoundWriter> open(OutputFile file, const std::string &path, int channels,
                                             double sample_rate, SampleFormat format, std::string *error);
    // Finishes the file if close() was not called, ignoring failures.
    ~SoundWriter();
    SoundWriter(const SoundWriter &) = delete;
    SoundWriter &operator=(const SoundWriter &) = delete;

    // Appends frames samples of each channel (channels[j] is channel j).
    // False with *error set when a write failed or would take a container
    // past its size limit; then nothing past the limit is written, and
    // close() still finishes the file whole.
    bool write(const float *const *channels, std::size_t frames, std::string *error);
    // Finishes the header and closes the file; false when any write to the
    // file failed, then or before.
    bool close(std::string *error);

    // A lower limit for the FORM size of a container with 32-bit sizes than
    // kSizeFieldMax, so that tests reach it without writing 4 GiB; no effect
    // on the other containers.  Call it before the first write.
    void set_size_field_max(std::uint64_t bytes);

    int channels() const { return channels_; }
    double sample_rate() const { return sample_rate_; }
    std::uint64_t frames_written() const { return frames_written_; }

private:
    struct File;
    SoundWriter(std::unique_ptr<File> file, int channels, double sample_rate);
    bool write_frames(const float *const *channels, std::size_t start, std::size_t frames,
                      std::string *error);
    std::unique_ptr<File> file_;
    int channels_;
    double sample_rate_;
    std::vector<float> interleaved_;
    std::uint64_t frames_written_ = 0;
    std::uint64_t frames_since_header_ = 0;
};

// Whether a file of this name can be written in this format (its
// extension names a container that holds it); false with *error set.
bool writable_name(const std::string &path, SampleFormat format, std::string *error);

// Writes channel j from channels[j] to the writer and closes it; a shorter
// channel is padded with zeros to the longest.  stop is asked between
// blocks: when it says so, the file is finished where it is.  False with
// *error set when a write or the finishing failed (the file is finished
// all the same).
bool write_sound(SoundWriter &writer, const std::vector<std::vector<float>> &channels,
                 const std::function<bool()> &stop, std::string *error);

}  // namespace maxhost
