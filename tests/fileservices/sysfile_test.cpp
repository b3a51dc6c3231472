// Data files: moving the position as the Mac does (never past the end,
// 64-bit offsets), and reads that come up short.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "ext_path.h"
#include "ext_sysfile.h"
#include "fixtures.hpp"
#include "host.hpp"

using namespace svc_test;

namespace {

const t_fourcc kWaveOnly[1] = {FOUR_CHAR_CODE('W', 'A', 'V', 'E')};

class SysFile : public ::testing::Test {
protected:
    headless::Host host;
    ScratchDir tmp{"svc"};
    t_filehandle fh = nullptr;

    void TearDown() override {
        if (fh) {
            EXPECT_EQ(sysfile_close(fh), 0);
        }
    }
    // Opens a file of the temporary folder as a plug-in would: found by
    // name, then opened in its path.
    void open(const std::string &name) {
        char buf[MAX_FILENAME_CHARS];
        std::strcpy(buf, (tmp.path / name).c_str());
        short path = 0;
        t_fourcc type = 0;
        ASSERT_EQ(locatefile_extended(buf, &path, &type, kWaveOnly, 1), 0);
        ASSERT_EQ(path_opensysfile(buf, path, &fh, READ_PERM), 0);
    }
    std::string read(int64_t n, short *result = nullptr) {
        std::string out(static_cast<std::size_t>(n), '\0');
        int64_t count = n;
        short r = sysfile_read(fh, &count, out.data());
        if (result) *result = r;
        out.resize(static_cast<std::size_t>(count));
        return out;
    }
};

Bytes text_bytes(const std::string &s) { return Bytes(s.begin(), s.end()); }

TEST_F(SysFile, MovesFromTheMarkAndNeverPastTheEnd) {
    tmp.write("f.wav", text_bytes("RIFF0123WAVEabcdef"));  // 18 bytes
    open("f.wav");
    ASSERT_EQ(sysfile_setpos(fh, SYSFILE_FROMMARK, 12), 0);
    EXPECT_EQ(read(2), "ab");
    EXPECT_EQ(sysfile_setpos(fh, SYSFILE_FROMMARK, 2), 0);  // relative to 14
    EXPECT_EQ(read(1), "e");

    // Past the end fails and the position stays where it was.
    EXPECT_NE(sysfile_setpos(fh, SYSFILE_FROMMARK, 3), 0);
    EXPECT_EQ(read(1), "f");
    // The end itself is a position; reading there gives nothing.
    EXPECT_EQ(sysfile_setpos(fh, SYSFILE_FROMSTART, 18), 0);
    short r = 0;
    EXPECT_EQ(read(4, &r), "");
    EXPECT_NE(r, 0);
    // Before the start fails too.
    EXPECT_NE(sysfile_setpos(fh, SYSFILE_FROMMARK, -19), 0);
    EXPECT_EQ(sysfile_setpos(fh, SYSFILE_FROMLEOF, -6), 0);
    EXPECT_EQ(read(6), "abcdef");
}

TEST_F(SysFile, AFileShorterThanARiffHeaderRefusesTheStepOverIt) {
    tmp.write("short.wav", text_bytes("RIFF0123WAV"));  // 11 bytes
    tmp.write("exact.wav", text_bytes("RIFF0123WAVE"));
    open("short.wav");
    EXPECT_NE(sysfile_setpos(fh, SYSFILE_FROMMARK, 12), 0);
    EXPECT_EQ(read(4), "RIFF") << "the failed move left the position at 0";
    sysfile_close(fh);
    fh = nullptr;
    open("exact.wav");
    EXPECT_EQ(sysfile_setpos(fh, SYSFILE_FROMMARK, 12), 0);
}

TEST_F(SysFile, ShortReadsGiveWhatThereWasAndReportIt) {
    tmp.write("s.wav", text_bytes("RIFF0123WAVEdata"));
    open("s.wav");
    ASSERT_EQ(sysfile_setpos(fh, SYSFILE_FROMMARK, 12), 0);
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    int64_t count = 8;
    EXPECT_NE(sysfile_read(fh, &count, buf), 0);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(std::string(buf, 8), "data####");
    count = 0;
    EXPECT_EQ(sysfile_read(fh, &count, buf), 0) << "reading nothing always succeeds";
}

TEST_F(SysFile, StepsOverChunksOfTwoToFourGibibytes) {
    // A sparse file of 3 GiB + 8 with a chunk header at 12 and a tag at the
    // end; stepping over the "data" chunk needs offsets past 2^31.
    const fsys::path p = tmp.write("big.wav", text_bytes("RIFF0123WAVEdata"));
    const int64_t data_size = (int64_t{3} << 30) - 24;
    const int64_t end_tag = 20 + data_size;
    int fd = ::open(p.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, end_tag + 4), 0) << "no sparse files here";
    ASSERT_EQ(::pwrite(fd, "cue ", 4, end_tag), 4);
    ::close(fd);

    open("big.wav");
    ASSERT_EQ(sysfile_setpos(fh, SYSFILE_FROMMARK, 12), 0);
    EXPECT_EQ(read(4), "data");
    ASSERT_EQ(sysfile_setpos(fh, SYSFILE_FROMMARK, 4), 0);
    ASSERT_EQ(sysfile_setpos(fh, SYSFILE_FROMMARK, data_size), 0);
    EXPECT_EQ(read(4), "cue ");
    EXPECT_NE(sysfile_setpos(fh, SYSFILE_FROMSTART, end_tag + 5), 0);
    EXPECT_EQ(sysfile_setpos(fh, SYSFILE_FROMMARK, -end_tag - 4), 0);
    EXPECT_EQ(read(4), "RIFF");
}

TEST_F(SysFile, OpeningNeedsAKnownPathAReadableFileAndReadPermission) {
    tmp.write("o.wav", text_bytes("RIFF0123WAVE"));
    open("o.wav");
    short path = 0;
    {
        char buf[MAX_FILENAME_CHARS];
        std::strcpy(buf, (tmp.path / "o.wav").c_str());
        t_fourcc type = 0;
        ASSERT_EQ(locatefile_extended(buf, &path, &type, kWaveOnly, 1), 0);
    }
    t_filehandle other = nullptr;
    EXPECT_NE(path_opensysfile("gone.wav", path, &other, READ_PERM), 0);
    EXPECT_NE(path_opensysfile("o.wav", static_cast<short>(path + 100), &other, READ_PERM), 0);
    EXPECT_NE(path_opensysfile("o.wav", path, &other, 2), 0);
    EXPECT_EQ(other, nullptr);

    // Closing twice is caught, not a crash.
    ASSERT_EQ(sysfile_close(fh), 0);
    const t_filehandle closed = fh;
    fh = nullptr;
    EXPECT_NE(sysfile_close(closed), 0);
    ASSERT_FALSE(host.console.empty());
    EXPECT_EQ(host.console.back().text, "host: sysfile_close of a file that is not open");
}

}  // namespace
