// Faults the host's file services do not produce on their own, put in by
// standing in for two of their calls: this executable's definitions come
// before the host library's when the bundle's calls are bound, and forward
// to them unless a test says otherwise.
#include <dlfcn.h>

#include "brindle_host_fixture.hpp"

using namespace brindle_test;

namespace {

bool refuse_open = false;
int opened = 0;
int closed = 0;

template <class Fn>
Fn next(const char *name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" short path_opensysfile(const char *name, short path, t_filehandle *fh, short perm) {
    static auto real = next<short (*)(const char *, short, t_filehandle *, short)>("path_opensysfile");
    if (refuse_open) return 1;
    const short r = real(name, path, fh, perm);
    if (r == 0) ++opened;
    return r;
}

extern "C" short sysfile_close(t_filehandle fh) {
    static auto real = next<short (*)(t_filehandle)>("sysfile_close");
    ++closed;
    return real(fh);
}

TEST_F(BrindleHost, AWaveFileThatCannotBeOpened) {
    put("m.wav", wave_file({riff_chunk("smpl", smpl_data({{1, 2}}))}));
    auto *b = make("b");
    refuse_open = true;
    open(b, "m.wav");
    refuse_open = false;
    EXPECT_EQ(errors(), Lines{"File open error - wave - carbon"});
    // No reader runs.
    EXPECT_EQ(take(), Lines{});
    EXPECT_EQ(rec(b).fileType, BRINDLE_WAVE);
    EXPECT_EQ(bang(b), Lines{cnt(0)});
}

TEST_F(BrindleHost, EveryWaveFileOpenedIsClosed) {
    put("m.wav", wave_file({riff_chunk("smpl", smpl_data({{1, 2}}))}));
    put("short.wav", Bytes{}.text("RIFF"));
    put("big.wav", wave_file({riff_chunk("cue ", Bytes{}.zeros(40000))}));
    opened = closed = 0;
    auto *b = make("b");
    for (auto file : {"m.wav", "short.wav", "big.wav", "m.wav"}) open(b, file);
    EXPECT_EQ(errors(),
              (Lines{"WAVE Header looks strange", "getbytes problem, maybe the header is too long (cue )"}));
    EXPECT_EQ(opened, 4);
    EXPECT_EQ(closed, 4);
    EXPECT_EQ(rec(b).fileHandle, nullptr);
}
