// Sound files for scripts, through libsndfile: a file's first channel to
// feed a signal inlet, and a box's recorded outlets written out.
#pragma once

#include <string>
#include <vector>

namespace maxhost {

// The first channel of any file libsndfile reads, as floats (integer
// formats scaled to -1..1), at whatever rate the file has.  False with
// *error set when the file cannot be read.
bool read_first_channel(const std::string &path, std::vector<float> &samples,
                        std::string *error);

// Writes a 32-bit float WAV file, channel j from channels[j]; a shorter
// channel is padded with zeros to the longest.  The rate is rounded to whole
// hertz, as WAV stores it.
bool write_float_wav(const std::string &path,
                     const std::vector<std::vector<float>> &channels, double sample_rate,
                     std::string *error);

}  // namespace maxhost
