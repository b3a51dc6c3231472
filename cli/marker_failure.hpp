// maxhost markers: why a name gave brindle~ no sound file to open, told
// from what the host's lookup found in its place.
#pragma once

#include <string>

#include "search_path.hpp"

namespace maxhost {

// maxhost's own line ("maxhost: ...") for a name whose lookup found no file
// of the four types.
std::string why_no_sound_file(const std::string &file, const fileservices::Lookup &lookup);

}  // namespace maxhost
