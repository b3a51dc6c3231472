#include "marker_failure.hpp"

namespace maxhost {

std::string why_no_sound_file(const std::string &file, const fileservices::Lookup &lookup) {
    if (lookup.other) return "maxhost: not an AIFF, AIFC, WAVE or Sound Designer II file";
    if (file.size() > fileservices::kMaxNameChars)
        return "maxhost: not found (a name holds at most 255 bytes)";
    if (lookup.folder) return "maxhost: a folder, not a sound file";
    return "maxhost: no such file";
}

}  // namespace maxhost
