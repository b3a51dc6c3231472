// Bundle versions: the build's stamp found by identifier, the info file's
// syntax, and the CoreFoundation string and reference rules plug-ins use.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CFBundle.h"
#include "bundle.hpp"
#include "fixtures.hpp"
#include "host.hpp"

using namespace svc_test;

namespace {

bool posted(const headless::Host &host, const std::string &text) {
    for (const auto &line : host.console)
        if (line.text == text) return true;
    return false;
}

TEST(BundleVersion, APluginFindsTheVersionItsBuildStampedAndNothingElse) {
    headless::Host host;
    ASSERT_TRUE(host.load_class("svc_bundle_probe"));
    EXPECT_TRUE(posted(host, "bundle_probe 2.5.1-test")) << "version from the stamped info file";
    EXPECT_TRUE(posted(host, "elsewhere null"));
    for (const auto &line : host.console) EXPECT_NE(line.kind, headless::ConsoleLine::Host) << line.text;
}

TEST(BundleVersion, WithoutAnInfoFileThePluginFallsBack) {
    ScratchDir tmp{"svc"};
    std::error_code ec;
    fsys::copy_file(fsys::path(MAXHOST_PLUGIN_DIR) / "svc_bundle_probe.so", tmp.path / "svc_bundle_probe.so",
                    ec);
    ASSERT_FALSE(ec) << ec.message();
    headless::Host host;
    host.add_plugin_dir(tmp.string());
    ASSERT_TRUE(host.load_class("svc_bundle_probe"));
    EXPECT_TRUE(posted(host, "bundle_probe (unknown version!)"));

    // A broken info file is reported, and falls back the same way.
    tmp.write("svc_bundle_probe.info", Bytes{'C', 'F', 'B', 'u', 'n', 'd', 'l', 'e', 'V', '\n'});
    headless::Host again;
    again.add_plugin_dir(tmp.string());
    ASSERT_TRUE(again.load_class("svc_bundle_probe"));
    EXPECT_TRUE(posted(again, "bundle_probe (unknown version!)"));
    EXPECT_TRUE(posted(
        again, "host: cannot read bundle information " + (tmp.path / "svc_bundle_probe.info").string()));
}

TEST(BundleInfo, LinesOfKeyAndValue) {
    auto v = fileservices::parse_bundle_info(
        "# stamped\nCFBundleIdentifier  com.example.x \r\n\nCFBundleVersion 1.0 beta\n");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->at("CFBundleIdentifier"), "com.example.x");
    EXPECT_EQ(v->at("CFBundleVersion"), "1.0 beta");
    EXPECT_FALSE(fileservices::parse_bundle_info("CFBundleVersion 1.0\n")) << "no identifier";
    EXPECT_FALSE(fileservices::parse_bundle_info("CFBundleIdentifier a\nCFBundleVersion\n"))
        << "a key without value";
}

TEST(BundleInfo, ALaterRegistrationWinsAndEarlierBundlesStayValid) {
    fileservices::BundleRegistry reg;
    ASSERT_TRUE(reg.add({{"CFBundleIdentifier", "com.example.x"}, {"CFBundleVersion", "1"}}));
    CFBundleRef first = reg.find(fileservices::constant_string("com.example.x"));
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(reg.add({{"CFBundleIdentifier", "com.example.x"}, {"CFBundleVersion", "2"}}));
    CFBundleRef second = reg.find(fileservices::constant_string("com.example.x"));
    auto version = [&](CFBundleRef b) {
        return std::string(fileservices::string_text(
            static_cast<CFStringRef>(reg.value(b, fileservices::constant_string("CFBundleVersion")))));
    };
    EXPECT_EQ(version(second), "2");
    EXPECT_EQ(version(first), "1");
    EXPECT_EQ(reg.value(second, fileservices::constant_string("CFBundleShortVersionString")), nullptr);
    EXPECT_EQ(reg.find(fileservices::constant_string("")), nullptr);
}

TEST(CFString, CopiesAsciiOnlyIntoABufferThatHoldsTextAndNul) {
    CFStringRef s = CFSTR("1.2.3");
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_FALSE(CFStringGetCString(s, buf, 5, kCFStringEncodingASCII)) << "no room for the NUL";
    EXPECT_EQ(buf[0], '#') << "a failed copy writes nothing";
    EXPECT_TRUE(CFStringGetCString(s, buf, 6, kCFStringEncodingASCII));
    EXPECT_STREQ(buf, "1.2.3");

    fileservices::BundleRegistry reg;
    reg.add({{"CFBundleIdentifier", "id"}, {"CFBundleVersion", "1.0\xC3\xA9"}});
    auto v = static_cast<CFStringRef>(reg.value(reg.find(CFSTR("id")), kCFBundleVersionKey));
    std::memset(buf, '#', sizeof buf);
    EXPECT_FALSE(CFStringGetCString(v, buf, sizeof buf, kCFStringEncodingASCII));
    EXPECT_EQ(buf[0], '#');
    EXPECT_TRUE(CFStringGetCString(v, buf, sizeof buf, 0x08000100)) << "UTF-8 takes it";
    EXPECT_FALSE(CFStringGetCString(v, buf, sizeof buf, 0x0500)) << "an encoding not handled";
    EXPECT_EQ(CFSTR("1.2.3"), s) << "constant strings are interned";
}

TEST(CFRetainRelease, CountedForOwnedObjectsAndOverReleaseIsReported) {
    headless::Host host;
    fileservices::BundleRegistry reg;
    reg.add({{"CFBundleIdentifier", "id"}, {"CFBundleVersion", "1"}});
    CFBundleRef b = reg.find(CFSTR("id"));
    EXPECT_EQ(fileservices::retain_count(b), 1);
    EXPECT_EQ(CFRetain(b), b);
    EXPECT_EQ(fileservices::retain_count(b), 2);
    CFRelease(b);
    EXPECT_EQ(fileservices::retain_count(b), 1);
    EXPECT_TRUE(host.console.empty());
    CFRelease(b);
    ASSERT_FALSE(host.console.empty());
    EXPECT_EQ(host.console.back().text, "host: CFRelease of an object not retained");
    EXPECT_EQ(fileservices::retain_count(b), 1) << "the registry's own reference holds";

    CFStringRef s = CFSTR("constant");
    CFRetain(s);
    CFRelease(s);
    CFRelease(s);
    EXPECT_EQ(host.console.size(), 1u) << "constants ignore the count";
}

}  // namespace
