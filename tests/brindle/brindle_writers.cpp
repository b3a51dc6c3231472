#include "brindle_writers.hpp"

#include <audiofile.h>
#include <sndfile.h>

#include <cstring>

namespace brindle_test {

namespace {
constexpr int FRAMES = 4000;
}

bool sndfile_write(const std::string &path, Container c, int rate, const std::vector<Told> &cues,
                   const std::vector<ToldLoop> &loops) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = (c == Container::Wave ? SF_FORMAT_WAV : SF_FORMAT_AIFF) | SF_FORMAT_PCM_16;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    bool ok = true;
    if (!cues.empty()) {
        auto *sf_cues = new SF_CUES{};
        sf_cues->cue_count = static_cast<uint32_t>(cues.size());
        for (std::size_t i = 0; i < cues.size() && i < 100; ++i) {
            auto &p = sf_cues->cue_points[i];
            p.indx = cues[i].id;
            p.position = cues[i].frame;
            p.sample_offset = cues[i].frame;
            std::strncpy(p.name, cues[i].name.c_str(), sizeof p.name - 1);
        }
        ok = sf_command(f, SFC_SET_CUE, sf_cues, sizeof *sf_cues) == SF_TRUE;
        delete sf_cues;
    }
    if (ok && !loops.empty()) {
        SF_INSTRUMENT inst{};
        inst.basenote = 60;
        inst.loop_count = static_cast<int>(loops.size());
        for (std::size_t k = 0; k < loops.size() && k < 16; ++k) {
            inst.loops[k].mode = SF_LOOP_FORWARD;
            inst.loops[k].start = loops[k].start;
            inst.loops[k].end = loops[k].end;
            inst.loops[k].count = 0;
        }
        ok = sf_command(f, SFC_SET_INSTRUMENT, &inst, sizeof inst) == SF_TRUE;
    }
    std::vector<short> silence(FRAMES, 0);
    if (sf_write_short(f, silence.data(), FRAMES) != FRAMES) ok = false;
    return sf_close(f) == 0 && ok;
}

bool audiofile_write(const std::string &path, Container c, int rate, const std::vector<Told> &marks) {
    AFfilesetup setup = afNewFileSetup();
    afInitFileFormat(setup, c == Container::Wave   ? AF_FILE_WAVE
                            : c == Container::Aiff ? AF_FILE_AIFF
                                                   : AF_FILE_AIFFC);
    afInitChannels(setup, AF_DEFAULT_TRACK, 1);
    afInitRate(setup, AF_DEFAULT_TRACK, rate);
    afInitSampleFormat(setup, AF_DEFAULT_TRACK, AF_SAMPFMT_TWOSCOMP, 16);
    std::vector<int> ids;
    for (const auto &m : marks) ids.push_back(m.id);
    afInitMarkIDs(setup, AF_DEFAULT_TRACK, ids.data(), static_cast<int>(ids.size()));
    for (const auto &m : marks) afInitMarkName(setup, AF_DEFAULT_TRACK, m.id, m.name.c_str());
    AFfilehandle h = afOpenFile(path.c_str(), "w", setup);
    afFreeFileSetup(setup);
    if (h == AF_NULL_FILEHANDLE) return false;
    for (const auto &m : marks) afSetMarkPosition(h, AF_DEFAULT_TRACK, m.id, m.frame);
    std::vector<short> silence(FRAMES, 0);
    const bool ok = afWriteFrames(h, AF_DEFAULT_TRACK, silence.data(), FRAMES) == FRAMES;
    return afCloseFile(h) == 0 && ok;
}

}  // namespace brindle_test
