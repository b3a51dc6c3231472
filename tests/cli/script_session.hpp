// A script runner over a host holding the test classes, and the sound files
// a script writes, for the tests that run scripts in-process.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "host.hpp"
#include "probe_classes.hpp"
#include "script_runner.hpp"

namespace cli_test {

// A host with the test classes, and the two streams a script writes to.
struct Session {
    headless::Host host;
    std::ostringstream out;
    std::ostringstream err;

    Session() {
        host.register_class("probe", probe_setup);
        host.register_class("ramp~", ramp_setup);
    }
    // Runs a whole script; boxes are freed at its end.
    int run(const std::string &script, maxhost::SampleFormat format = maxhost::SampleFormat::Float32) {
        maxhost::ScriptRunner runner(host, out, err);
        runner.set_sample_format(format);
        std::istringstream in(script);
        return runner.run(in, "s.txt");
    }
};

struct Sound {
    SF_INFO info{};
    std::vector<float> frames;  // interleaved
};

inline Sound read_sound(const std::filesystem::path &path) {
    Sound s;
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &s.info);
    if (!f) {
        ADD_FAILURE() << "cannot open " << path << ": " << sf_strerror(nullptr);
        return s;
    }
    s.frames.resize(static_cast<std::size_t>(s.info.frames * s.info.channels));
    EXPECT_EQ(sf_readf_float(f, s.frames.data(), s.info.frames), s.info.frames);
    sf_close(f);
    return s;
}

}  // namespace cli_test
