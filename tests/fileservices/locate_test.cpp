// Finding files: names and paths, the order of the search path, how a file's
// type is decided, and the dialog's stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ext_path.h"
#include "ext_sysfile.h"
#include "fixtures.hpp"
#include "host.hpp"

using namespace svc_test;

namespace {

const t_fourcc kTypes[4] = {FOUR_CHAR_CODE('A', 'I', 'F', 'F'), FOUR_CHAR_CODE('A', 'I', 'F', 'C'),
                            FOUR_CHAR_CODE('W', 'A', 'V', 'E'), FOUR_CHAR_CODE('S', 'd', '2', 'f')};
constexpr t_fourcc kAIFF = FOUR_CHAR_CODE('A', 'I', 'F', 'F');
constexpr t_fourcc kAIFC = FOUR_CHAR_CODE('A', 'I', 'F', 'C');
constexpr t_fourcc kWAVE = FOUR_CHAR_CODE('W', 'A', 'V', 'E');
constexpr t_fourcc kSd2f = FOUR_CHAR_CODE('S', 'd', '2', 'f');

Bytes aiff_bytes() {
    return form_file("AIFF", {iff_chunk("COMM", comm_data(1, 0, 16, extended_rate(44100)))});
}
Bytes aifc_bytes() {
    return form_file("AIFC", {iff_chunk("COMM", comm_data(1, 0, 16, extended_rate(44100), "NONE"))});
}
Bytes wave_bytes() { return wave_file({iff_chunk("data", Bytes(4, 0))}); }
Bytes headerless() { return Bytes(64, 0x11); }

struct Found {
    short result;
    std::string name;
    short path;
    t_fourcc type;
};

class Locate : public ::testing::Test {
protected:
    headless::Host host;
    ScratchDir tmp{"svc"};

    Found locate(const std::string &name, const t_fourcc *types = kTypes, short n = 4) {
        char buf[MAX_FILENAME_CHARS + 64];
        std::memset(buf, 0, sizeof buf);
        std::memcpy(buf, name.c_str(), std::min(name.size() + 1, sizeof buf - 1));
        short path = -7;
        t_fourcc type = 0xDEADBEEF;
        short r = locatefile_extended(buf, &path, &type, types, n);
        return {r, buf, path, type};
    }
    // The folder a path id stands for, seen through a file opened there.
    bool opens_in(short path, const std::string &name) {
        t_filehandle fh = nullptr;
        if (path_opensysfile(name.c_str(), path, &fh, READ_PERM) != 0) return false;
        sysfile_close(fh);
        return true;
    }
};

TEST_F(Locate, PathsNameTheirFileDirectlyAndComeBackAsFolderAndName) {
    tmp.write("sub/one.wav", wave_bytes());
    Found abs = locate((tmp.path / "sub/one.wav").string());
    ASSERT_EQ(abs.result, 0);
    EXPECT_EQ(abs.name, "one.wav");
    EXPECT_EQ(abs.type, kWAVE);
    EXPECT_TRUE(opens_in(abs.path, "one.wav"));

    InFolder here(tmp.path);
    Found rel = locate("sub/one.wav");
    ASSERT_EQ(rel.result, 0);
    EXPECT_EQ(rel.name, "one.wav");
    EXPECT_EQ(rel.path, abs.path) << "one folder, one path id";

    // A path is not searched for along the search path.
    host.add_search_dir(tmp.string());
    EXPECT_NE(locate("elsewhere/one.wav").result, 0);
    EXPECT_NE(locate((tmp.path / "sub/").string()).result, 0);
}

TEST_F(Locate, BareNamesGoThroughPathFoldersThenScriptFolderThenCurrentFolder) {
    // The same name in every place, with content telling them apart.
    tmp.write("p1/other.aif", aiff_bytes());
    tmp.write("p2/s.aif", aifc_bytes());
    tmp.write("script/s.aif", wave_bytes());
    tmp.write("cwd/s.aif", aiff_bytes());
    host.add_search_dir((tmp.path / "p1").string());
    host.add_search_dir((tmp.path / "p2").string());
    host.set_script_dir((tmp.path / "script").string());
    InFolder here(tmp.path / "cwd");

    Found first = locate("s.aif");
    ASSERT_EQ(first.result, 0);
    EXPECT_EQ(first.type, kAIFC);
    EXPECT_EQ(locate("s.aif").path, first.path) << "ids are handed out once per folder";

    fsys::remove(tmp.path / "p2/s.aif");
    Found second = locate("s.aif");
    ASSERT_EQ(second.result, 0);
    EXPECT_EQ(second.type, kWAVE);
    EXPECT_NE(second.path, first.path);

    fsys::remove(tmp.path / "script/s.aif");
    Found third = locate("s.aif");
    ASSERT_EQ(third.result, 0);
    EXPECT_EQ(third.type, kAIFF);
    EXPECT_TRUE(opens_in(third.path, "s.aif"));

    fsys::remove(tmp.path / "cwd/s.aif");
    EXPECT_NE(locate("s.aif").result, 0);
}

TEST_F(Locate, AFileOfAnUnlistedTypeIsPassedOverForOneFurtherOn) {
    tmp.write("p1/x.aif", headerless());  // AIFF by its extension
    tmp.write("p2/x.aif", wave_bytes());
    host.add_search_dir((tmp.path / "p1").string());
    host.add_search_dir((tmp.path / "p2").string());
    const t_fourcc only_wave[1] = {kWAVE};
    Found f = locate("x.aif", only_wave, 1);
    ASSERT_EQ(f.result, 0);
    EXPECT_EQ(f.type, kWAVE);
    EXPECT_EQ(locate("x.aif").type, kAIFF);
    EXPECT_NE(locate("x.aif", kTypes, 0).result, 0) << "no type listed, nothing found";
}

TEST_F(Locate, TypeComesFromContentThenFinderTypeThenExtension) {
    host.add_search_dir(tmp.string());
    struct Case {
        const char *name;
        Bytes content;
        std::optional<std::string> sidecar;  // "._" or ".AppleDouble/"
        const char *finder_type;
        std::optional<t_fourcc> expected;  // nothing: not found
    };
    const Case cases[] = {
        {"a.aif", wave_bytes(), {}, nullptr, kWAVE},          // content beats extension
        {"b.wav", aifc_bytes(), "._", "WAVE", kAIFC},         // content beats Finder type
        {"c.wav", headerless(), "._", "Sd2f", kSd2f},         // Finder type beats extension
        {"d", headerless(), ".AppleDouble/", "AIFF", kAIFF},  // the file servers' sidecar
        {"e.wav", headerless(), "._", "TEXT", {}},            // a Finder type of another kind
        {"f.AIFF", headerless(), {}, nullptr, kAIFF},         // extensions in any case
        {"g.aifc", headerless(), {}, nullptr, kAIFC},
        {"h.sd2", headerless(), {}, nullptr, kSd2f},
        {"i.Wav", headerless(), {}, nullptr, kWAVE},
        {"j.txt", headerless(), {}, nullptr, {}},
        {"k", headerless(), {}, nullptr, {}},
        {"l.aif", form_file("8SVX", {}), {}, nullptr, {}},         // another FORM is not AIFF
        {"m.wav", Bytes{'R', 'I', 'F', 'F'}, {}, nullptr, kWAVE},  // too short for a header
        {"n.wav", Bytes{}, {}, nullptr, kWAVE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tmp.write(c.name, c.content);
        if (c.sidecar) tmp.write(*c.sidecar + c.name, apple_double({{9, finder_info(c.finder_type)}}));
        Found f = locate(c.name);
        if (c.expected) {
            ASSERT_EQ(f.result, 0);
            EXPECT_EQ(f.type, *c.expected);
        } else {
            EXPECT_NE(f.result, 0);
        }
    }
}

TEST_F(Locate, ABrokenOrBlankSidecarLeavesTheExtensionToDecide) {
    host.add_search_dir(tmp.string());
    tmp.write("a.wav", headerless());
    Bytes broken = apple_double({{9, finder_info("Sd2f")}});
    broken[33] = 0xF0;  // the Finder info entry now runs past the end
    tmp.write("._a.wav", broken);
    EXPECT_EQ(locate("a.wav").type, kWAVE);

    tmp.write("b.wav", headerless());
    tmp.write("._b.wav", apple_double({{9, Bytes(32, 0)}}));
    EXPECT_EQ(locate("b.wav").type, kWAVE);
}

TEST_F(Locate, FailureLeavesEveryOutArgumentAsItWas) {
    host.add_search_dir(tmp.string());
    tmp.write("text.txt", headerless());
    fsys::create_directories(tmp.path / "folder.wav");  // a folder is no file
    for (const char *name : {"missing.wav", "text.txt", "folder.wav", ""}) {
        SCOPED_TRACE(name);
        Found f = locate(name);
        EXPECT_NE(f.result, 0);
        EXPECT_EQ(f.name, name);
        EXPECT_EQ(f.path, -7);
        EXPECT_EQ(f.type, 0xDEADBEEFu);
    }
}

TEST_F(Locate, NamesLongerThan255CharactersAreRefusedNeverCut) {
    host.add_search_dir(tmp.string());
    const std::string longest = std::string(251, 'n') + ".wav";  // 255 characters
    tmp.write(longest, wave_bytes());
    Found ok = locate(longest);
    ASSERT_EQ(ok.result, 0);
    EXPECT_EQ(ok.name, longest);

    // One more character: cut to 255 it would name the file above.
    const std::string too_long = longest + "x";
    Found refused = locate(too_long);
    EXPECT_NE(refused.result, 0);
    EXPECT_EQ(refused.name, too_long);
    EXPECT_EQ(refused.path, -7);

    // A buffer of 256 characters with no NUL inside is refused too.
    char unterminated[MAX_FILENAME_CHARS];
    std::memset(unterminated, 'n', sizeof unterminated);
    short path = -7;
    t_fourcc type = 0;
    EXPECT_NE(locatefile_extended(unterminated, &path, &type, kTypes, 4), 0);
    EXPECT_EQ(path, -7);
}

TEST_F(Locate, DialogTakesTheAnswerGivenOnceAndOnlyOfAListedType) {
    tmp.write("d.aif", aiff_bytes());
    tmp.write("t.txt", headerless());
    char name[MAX_FILENAME_CHARS] = "before";
    short path = -7;
    t_fourcc type = 0;

    EXPECT_NE(open_dialog(name, &path, &type, kTypes, 4), 0) << "no answer: cancelled";

    host.set_dialog_answer((tmp.path / "d.aif").string());
    ASSERT_EQ(open_dialog(name, &path, &type, kTypes, 4), 0);
    EXPECT_STREQ(name, "d.aif");
    EXPECT_EQ(type, kAIFF);
    EXPECT_TRUE(opens_in(path, "d.aif"));
    EXPECT_NE(open_dialog(name, &path, &type, kTypes, 4), 0) << "the answer is used up";

    host.set_dialog_answer((tmp.path / "t.txt").string());
    std::strcpy(name, "before");
    path = -7;
    EXPECT_NE(open_dialog(name, &path, &type, kTypes, 4), 0);
    EXPECT_STREQ(name, "before");
    EXPECT_EQ(path, -7);

    host.set_dialog_answer(std::nullopt);
    EXPECT_NE(open_dialog(name, &path, &type, kTypes, 4), 0);
}

}  // namespace
