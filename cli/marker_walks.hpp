// maxhost markers: brindle~'s own walks over a file found, run directly,
// without a box, for the rate the file states and, with the parse log on,
// for why a walk stopped early or passed something over.
#pragma once

#include <cstdint>
#include <optional>

#include "brindle_core.h"
#include "search_path.hpp"

namespace maxhost {

// The rate brindle~'s readers work out for the file, by the same code:
// AIFF and AIFC from the host's sndfile_info reader, WAVE from the header
// walk (the last format chunk it reaches), Sound Designer II from the text
// of STR  1001.  Nothing for a file that states none (no format chunk, a
// text without a number), though brindle~ then divides by 0.  With a log,
// the markers are walked too, into the log only: the box sends them.
std::optional<int32_t> stated_rate(const fileservices::Located &file, const brindle_log *log);

}  // namespace maxhost
