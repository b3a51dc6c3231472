// Sound files written at test time by two independent libraries, libsndfile
// and libaudiofile, each told a set of markers.  What each puts in the file
// for what it was told differs; the tests know those differences.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brindle_test {

struct Told {
    int id;
    uint32_t frame;
    std::string name;
};

struct ToldLoop {
    uint32_t start, end;
};

enum class Container { Wave, Aiff, Aifc };

// libsndfile: cue points (SFC_SET_CUE) and, for WAVE, instrument loops.
bool sndfile_write(const std::string &path, Container c, int rate, const std::vector<Told> &cues,
                   const std::vector<ToldLoop> &loops = {});
// libaudiofile: markers (afInitMarkIDs, afInitMarkName, afSetMarkPosition).
bool audiofile_write(const std::string &path, Container c, int rate, const std::vector<Told> &marks);

}  // namespace brindle_test
