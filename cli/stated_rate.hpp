// The sample rate a sound file states, read the way the host and the
// marker reader read it, for reports that show a file's rate beside the
// times brindle~ worked out from it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace maxhost {

// The rate of folder/name, a file of the given type code (AIFF, AIFC, WAVE
// or Sd2f); nothing when the file states none that fits 32 bits.
std::optional<int32_t> stated_rate(const std::string &folder, const std::string &name,
                                   uint32_t type);

}  // namespace maxhost
