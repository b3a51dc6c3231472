// Resource forks off a Mac: where they are found, the Resource Manager's
// codes, the map checks, and who owns a handle.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Resources.h"
#include "ext.h"
#include "ext_path.h"
#include "fixtures.hpp"
#include "host.hpp"
#include "resource_fork.hpp"

using namespace svc_test;

namespace {

constexpr ResType kSTR = FOUR_CHAR_CODE('S', 'T', 'R', ' ');
constexpr ResType kSdML = FOUR_CHAR_CODE('s', 'd', 'M', 'L');
const t_fourcc kSd2Only[1] = {FOUR_CHAR_CODE('S', 'd', '2', 'f')};

Bytes sd2_fork() {
    return resource_fork({{"STR ", 1001, pascal_string("44100.000"), std::nullopt},
                          {"sdML", 1000, Bytes(30, 0x5A), std::string("markers")},
                          {"STR ", 1000, pascal_string("other"), std::nullopt}});
}

// What the marker reader's loader does, step by step, with the codes it
// gives.
struct Loaded {
    long result = 0;
    Handle rate = nullptr;
    Handle markers = nullptr;
};

Loaded load_resources(const char *name, short path) {
    Loaded out;
    const short cur = CurResFile();
    short ref = 0;
    const short err = path_openresfile(name, path, &ref, READ_PERM);
    if (err) {
        UseResFile(cur);
        out.result = err;
        return out;
    }
    UseResFile(ref);
    out.rate = GetResource(kSTR, 1001);
    if (!out.rate) {
        out.result = ResError();
    } else {
        DetachResource(out.rate);
        out.markers = GetResource(kSdML, 1000);
        if (!out.markers)
            out.result = ResError();
        else
            DetachResource(out.markers);
    }
    CloseResFile(ref);
    UseResFile(cur);
    return out;
}

std::string contents(Handle h) { return std::string(*h, static_cast<std::size_t>(GetHandleSize(h))); }

class ResFork : public ::testing::Test {
protected:
    headless::Host host;
    ScratchDir tmp{"svc"};

    // The folder's path id, as the locating step hands it out.
    short path_of(const std::string &name) {
        char buf[MAX_FILENAME_CHARS];
        std::strcpy(buf, (tmp.path / name).c_str());
        short path = 0;
        t_fourcc type = 0;
        EXPECT_EQ(locatefile_extended(buf, &path, &type, kSd2Only, 1), 0) << name;
        return path;
    }
    void expect_quiet_host() {
        for (const auto &line : host.console) EXPECT_NE(line.kind, headless::ConsoleLine::Host) << line.text;
    }
};

TEST_F(ResFork, FoundInEachPlaceAForkLivesOffAMac) {
    const Bytes fork = sd2_fork();
    tmp.write("a.sd2", Bytes(100, 0));
    tmp.write("._a.sd2", apple_double({{9, finder_info("Sd2f")}, {2, fork}}));
    tmp.write("b.sd2", Bytes(100, 0));
    tmp.write(".AppleDouble/b.sd2", apple_double({{2, fork}}));
    tmp.write("c.sd2", Bytes(100, 0));
    tmp.write("c.sd2.rsrc", fork);
    for (const char *name : {"a.sd2", "b.sd2", "c.sd2"}) {
        SCOPED_TRACE(name);
        const short before = CurResFile();
        Loaded l = load_resources(name, path_of(name));
        ASSERT_EQ(l.result, 0);
        EXPECT_EQ(CurResFile(), before);
        EXPECT_EQ(contents(l.rate), std::string("\x09") + "44100.000");
        EXPECT_EQ(contents(l.markers), std::string(30, 'Z'));
        EXPECT_EQ(host.blocks_held(), 2u) << "the two detached copies, nothing of the closed file";
        disposhandle(l.rate);
        disposhandle(l.markers);
        EXPECT_EQ(host.blocks_held(), 0u);
    }
    expect_quiet_host();
}

TEST_F(ResFork, AnEmptySidecarForkGivesWayToTheNextPlace) {
    tmp.write("d.sd2", Bytes(10, 0));
    tmp.write("._d.sd2", apple_double({{9, finder_info("Sd2f")}, {2, Bytes{}}}));
    tmp.write("d.sd2.rsrc", sd2_fork());
    Loaded l = load_resources("d.sd2", path_of("d.sd2"));
    ASSERT_EQ(l.result, 0);
    disposhandle(l.rate);
    disposhandle(l.markers);
}

TEST_F(ResFork, MissingForkMissingResourceAndBrokenMapGiveTheirCodes) {
    tmp.write("nofork.sd2", Bytes(10, 0));
    tmp.write("empty.sd2", Bytes(10, 0));
    tmp.write("empty.sd2.rsrc", Bytes{});
    tmp.write("nomarks.sd2", Bytes(10, 0));
    tmp.write("nomarks.sd2.rsrc", resource_fork({{"STR ", 1001, pascal_string("48000"), std::nullopt}}));
    Bytes broken = sd2_fork();
    broken[4] = 0x7F;  // the map's offset far past the end
    tmp.write("broken.sd2", Bytes(10, 0));
    tmp.write("broken.sd2.rsrc", broken);
    const short path = path_of("nofork.sd2");

    EXPECT_EQ(load_resources("nofork.sd2", path).result, resFNotFound);
    EXPECT_EQ(load_resources("empty.sd2", path).result, resFNotFound);
    EXPECT_EQ(load_resources("broken.sd2", path).result, mapReadErr);
    EXPECT_EQ(load_resources("nofork.sd2", static_cast<short>(path + 5)).result, resFNotFound);

    // The rate was detached before the marker list was found missing: it
    // is the caller's, and the closed file freed nothing it gave away.
    Loaded l = load_resources("nomarks.sd2", path);
    EXPECT_EQ(l.result, resNotFound);
    ASSERT_NE(l.rate, nullptr);
    EXPECT_EQ(l.markers, nullptr);
    EXPECT_EQ(contents(l.rate),
              "\x05"
              "48000");
    EXPECT_EQ(host.blocks_held(), 1u);
    disposhandle(l.rate);
    EXPECT_EQ(CurResFile(), 0);
    expect_quiet_host();
}

TEST_F(ResFork, EveryTruncationOrBadOffsetOfTheMapIsRefused) {
    const Bytes good = sd2_fork();
    std::vector<fileservices::ResourceEntry> entries;
    ASSERT_EQ(fileservices::parse_resource_fork(good, entries), fileservices::kResOk);
    ASSERT_EQ(entries.size(), 3u);

    for (std::size_t n = 1; n < good.size(); ++n) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        ASSERT_EQ(fileservices::parse_resource_fork(cut, entries), fileservices::kResMapBroken)
            << "cut to " << n;
    }

    // Offsets within the map, found from the header the builder wrote.
    const std::size_t map = (std::size_t{good[4]} << 24) | (good[5] << 16) | (good[6] << 8) | good[7];
    const std::size_t type_list = map + 28;
    const std::size_t first_ref = type_list + 2 + 8 * 2;
    struct Poke {
        const char *what;
        std::size_t at;
        Bytes bytes;
    };
    const Poke pokes[] = {
        {"data length past the fork", 8, {0x00, 0x01, 0x00, 0x00}},
        {"map length past the fork", 12, {0x00, 0x01, 0x00, 0x00}},
        {"type list past the map", map + 24, {0x7F, 0xFF}},
        {"name list past the map", map + 26, {0x7F, 0xFF}},
        {"more types than the map holds", type_list, {0x00, 0x40}},
        {"more resources than the map holds", type_list + 2 + 4, {0x00, 0x40}},
        {"reference list past the map", type_list + 2 + 6, {0x7F, 0x00}},
        {"name past the name list", first_ref + 2, {0x7F, 0x00}},
        {"name running past the map", good.size() - 8, {0xFF}},  // "markers", the last name
        {"resource data past the data", first_ref + 5, {0x7F, 0x00, 0x00}},
    };
    for (const Poke &p : pokes) {
        SCOPED_TRACE(p.what);
        Bytes bad = good;
        std::copy(p.bytes.begin(), p.bytes.end(), bad.begin() + static_cast<std::ptrdiff_t>(p.at));
        EXPECT_EQ(fileservices::parse_resource_fork(bad, entries), fileservices::kResMapBroken);
    }
    // A resource whose length word claims more than the data holds.
    Bytes long_data = good;
    long_data[256] = 0x01;
    EXPECT_EQ(fileservices::parse_resource_fork(long_data, entries), fileservices::kResMapBroken);
}

TEST_F(ResFork, HandlesBelongToTheirFileUntilDetached) {
    tmp.write("h.sd2", Bytes(10, 0));
    tmp.write("h.sd2.rsrc", sd2_fork());
    short ref = 0;
    ASSERT_EQ(path_openresfile("h.sd2", path_of("h.sd2"), &ref, READ_PERM), 0);
    EXPECT_EQ(CurResFile(), ref) << "opening makes the fork current";

    Handle a = GetResource(kSTR, 1001);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(GetResource(kSTR, 1001), a) << "loaded once while attached";
    Handle b = GetResource(kSTR, 1000);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(contents(b), "\x05other");
    EXPECT_EQ(GetResource(kSTR, 1002), nullptr);
    EXPECT_EQ(ResError(), resNotFound);
    EXPECT_EQ(host.blocks_held(), 2u);

    DetachResource(a);
    EXPECT_EQ(ResError(), noErr);
    Handle again = GetResource(kSTR, 1001);
    EXPECT_NE(again, a) << "after detaching, a new copy";
    EXPECT_EQ(contents(again), contents(a));
    DetachResource(a);
    EXPECT_EQ(ResError(), resNotFound) << "a detached handle is no resource";

    CloseResFile(ref);
    EXPECT_EQ(CurResFile(), 0);
    EXPECT_EQ(host.blocks_held(), 1u) << "closing freed the attached ones";
    EXPECT_EQ(contents(a),
              "\x09"
              "44100.000");
    disposhandle(a);
    EXPECT_EQ(host.blocks_held(), 0u);
    expect_quiet_host();

    disposhandle(a);
    ASSERT_FALSE(host.console.empty());
    EXPECT_EQ(host.console.back().text, "host: double disposhandle");
}

TEST_F(ResFork, TheChainSearchesOlderFilesAndUseResFileKeepsToOpenOnes) {
    tmp.write("x.sd2", Bytes(10, 0));
    tmp.write("x.sd2.rsrc", resource_fork({{"STR ", 1, pascal_string("older"), std::nullopt}}));
    tmp.write("y.sd2", Bytes(10, 0));
    tmp.write("y.sd2.rsrc", resource_fork({{"STR ", 2, pascal_string("newer"), std::nullopt}}));
    const short path = path_of("x.sd2");
    short rx = 0, ry = 0;
    ASSERT_EQ(path_openresfile("x.sd2", path, &rx, READ_PERM), 0);
    ASSERT_EQ(path_openresfile("y.sd2", path, &ry, READ_PERM), 0);
    EXPECT_NE(rx, ry);
    EXPECT_NE(GetResource(kSTR, 1), nullptr) << "y's chain reaches x";
    UseResFile(rx);
    EXPECT_EQ(GetResource(kSTR, 2), nullptr) << "x's chain does not reach the newer y";

    UseResFile(4321);
    EXPECT_EQ(ResError(), resFNotFound);
    EXPECT_EQ(CurResFile(), rx);

    CloseResFile(ry);
    CloseResFile(ry);
    EXPECT_EQ(ResError(), resFNotFound);
    EXPECT_EQ(CurResFile(), rx);
    CloseResFile(rx);
    EXPECT_EQ(host.blocks_held(), 0u);
}

TEST_F(ResFork, ForksAndSidecarsWrittenByOtherPrograms) {
    REQUIRE_SAMPLE(testfile, "rsrcfork__testfile.rsrc");
    REQUIRE_SAMPLE(empty, "rsrcfork__empty.rsrc");
    REQUIRE_SAMPLE(clipping, "rsrcfork__unicode.textClipping.rsrc");
    REQUIRE_SAMPLE(sidecar, "libarchive__macosx_appledouble_._file");
    // Each one beside a file of ours, under the name it takes there.
    tmp.write("t.sd2", Bytes(10, 0));
    fsys::copy_file(testfile, tmp / "t.sd2.rsrc");
    tmp.write("e.sd2", Bytes(10, 0));
    fsys::copy_file(empty, tmp / "e.sd2.rsrc");
    tmp.write("u.sd2", Bytes(10, 0));
    fsys::copy_file(clipping, tmp / "u.sd2.rsrc");
    tmp.write("s.sd2", Bytes(10, 0));
    fsys::copy_file(sidecar, tmp / "._s.sd2");
    const short path = path_of("t.sd2");

    short ref = 0;
    ASSERT_EQ(path_openresfile("t.sd2", path, &ref, READ_PERM), 0);
    Handle h = GetResource(kSTR, 128);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(contents(h).substr(1), "The String, without name or attributes");
    EXPECT_NE(GetResource(kSTR, 131), nullptr);
    EXPECT_EQ(GetResource(kSTR, 1001), nullptr);
    EXPECT_EQ(ResError(), resNotFound);
    CloseResFile(ref);

    Loaded e = load_resources("e.sd2", path);
    EXPECT_EQ(e.result, resNotFound) << "a fork with no resources opens but holds none";

    ASSERT_EQ(path_openresfile("u.sd2", path, &ref, READ_PERM), 0);
    CloseResFile(ref);

    // A Mac archiver's sidecar with an empty fork entry: no fork at all.
    EXPECT_EQ(load_resources("s.sd2", path).result, resFNotFound);
    EXPECT_EQ(host.blocks_held(), 0u);
}

}  // namespace

namespace {

// A class that keeps what it copies out of a fork and never disposes of it.
struct t_keeper {
    t_object ob;
    Handle kept;
};
t_messlist *keeper_class;
short keeper_path;

void *keeper_new() { return newobject(keeper_class); }
void keeper_load(t_keeper *x) { x->kept = load_resources("k.sd2", keeper_path).rate; }
int keeper_main() {
    setup(&keeper_class, reinterpret_cast<method>(keeper_new), nullptr,
          static_cast<int32_t>(sizeof(t_keeper)), nullptr, 0);
    addbang(reinterpret_cast<method>(keeper_load));
    return 0;
}

TEST_F(ResFork, AHandleNeverDisposedShowsWhenItsBoxGoes) {
    tmp.write("k.sd2", Bytes(10, 0));
    tmp.write("k.sd2.rsrc", sd2_fork());
    keeper_path = path_of("k.sd2");
    ASSERT_TRUE(host.register_class("keeper", keeper_main));
    headless::Box *box = host.new_box("k", "keeper");
    ASSERT_NE(box, nullptr);
    host.send_message(box, gensym("bang"), {});
    ASSERT_NE(static_cast<t_keeper *>(host.instance(box))->kept, nullptr);
    host.free_box(box);
    ASSERT_FALSE(host.console.empty());
    // Both copies were detached and neither disposed of.
    EXPECT_EQ(host.console.back().text.rfind("host: keeper k: 2 block(s)", 0), 0u)
        << host.console.back().text;
    EXPECT_EQ(host.blocks_held(), 0u);
}

TEST(ResForkTeardown, AHostGoingWithAForkStillOpenFreesEachHandleOnce) {
    ScratchDir tmp{"svc"};
    tmp.write("z.sd2", Bytes(10, 0));
    tmp.write("z.sd2.rsrc", sd2_fork());
    auto host = std::make_unique<headless::Host>();
    char name[MAX_FILENAME_CHARS];
    std::strcpy(name, (tmp.path / "z.sd2").c_str());
    short path = 0;
    t_fourcc type = 0;
    ASSERT_EQ(locatefile_extended(name, &path, &type, kSd2Only, 1), 0);
    short ref = 0;
    ASSERT_EQ(path_openresfile(name, path, &ref, READ_PERM), 0);
    ASSERT_NE(GetResource(kSTR, 1001), nullptr);
    Handle detached = GetResource(kSdML, 1000);
    DetachResource(detached);
    EXPECT_EQ(host->blocks_held(), 2u);
    host.reset();  // under AddressSanitizer a second free would show here
    EXPECT_EQ(CurResFile(), 0) << "no host, no resource file";
}

}  // namespace
