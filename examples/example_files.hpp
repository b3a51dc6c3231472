// The sound files with markers that ship in examples/, made with the file
// writers: a WAVE file, an AIFF file and a Sound Designer II file with its
// resource fork beside it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "file_writers.hpp"

namespace examples {

// A short decaying tone, in integers only, so that every machine writes
// the same bytes.
std::vector<int16_t> example_tone(std::size_t frames, uint32_t period);

// The files of examples/, by name.
std::vector<std::pair<std::string, writers::Bytes>> example_files();

}  // namespace examples
