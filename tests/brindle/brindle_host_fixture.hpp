// Shared fixture: a fresh headless host with brindle~ loaded from its
// bundle, and a folder of its own on the search path for the files a test
// writes.  Every box is freed at the end, and the host must then hold no
// block and have printed no complaint of its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "brindle.h"
#include "file_writers.hpp"
#include "host.hpp"
#include "scratch_dir.hpp"

namespace brindle_test {

using namespace writers;

// Outlet messages as text: "#5" for a count, "name @ 500" for a time in
// milliseconds (printed so that a float reads back exactly), "name : 22050"
// for a time in frames.
inline std::string cnt(int32_t n) { return "#" + std::to_string(n); }
inline std::string ms(const std::string &name, float t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(t));
    return name + " @ " + buf;
}
inline std::string fr(const std::string &name, int32_t frames) {
    return name + " : " + std::to_string(frames);
}

using Lines = std::vector<std::string>;

struct BrindleHost : ::testing::Test {
    headless::Host host;
    const test_support::ScratchDir dir{"brindle"};
    std::vector<std::string> host_lines;
    std::vector<std::string> names;  // boxes made, freed at the end

    void SetUp() override {
        host.on_console = [this](const headless::ConsoleLine &l) {
            if (l.kind == headless::ConsoleLine::Host) host_lines.push_back(l.text);
        };
        ASSERT_TRUE(host.load_class("brindle~"));
        host.add_search_dir(dir.string());
        host.console.clear();
    }

    void TearDown() override {
        for (const auto &n : names)
            if (auto *b = host.find(n)) host.free_box(b);
        EXPECT_EQ(host.blocks_held(), 0u);
        EXPECT_EQ(host_lines, Lines{});
    }

    headless::Box *make(const std::string &name, const std::string &file = "") {
        std::vector<t_atom> args;
        if (!file.empty()) args.push_back(headless::sym_atom(file.c_str()));
        auto *b = host.new_box(name, "brindle~", args);
        if (b) names.push_back(name);
        return b;
    }
    t_brindle &rec(headless::Box *b) { return *static_cast<t_brindle *>(host.instance(b)); }

    std::string put(const std::string &name, const Bytes &bytes) {
        dir.write(name, bytes);
        return name;
    }
    std::string path(const std::string &name) const { return (dir / name).string(); }

    // Messages: each queued, then the deferred queue, as one event.
    void msg(headless::Box *b, const std::string &selector, std::vector<t_atom> args = {}) {
        args.insert(args.begin(), headless::sym_atom(selector.c_str()));
        host.send(b, args);
    }
    void open(headless::Box *b, const std::string &file) {
        msg(b, "open", {headless::sym_atom(file.c_str())});
        host.run_deferred();
    }
    Lines bang(headless::Box *b) {
        msg(b, "bang");
        return take();
    }

    // What left any outlet since the last take, in order.
    Lines take() {
        Lines out;
        for (const auto &m : host.messages) {
            const auto &a = m.atoms;
            if (m.outlet == 1 && a.size() == 1 && a[0].a_type == A_LONG &&
                std::string(m.selector->s_name) == "int") {
                out.push_back(cnt(a[0].a_w.w_long));
            } else if (m.outlet == 0 && a.size() == 2 && a[0].a_type == A_SYM &&
                       std::string(m.selector->s_name) == "list") {
                if (a[1].a_type == A_FLOAT)
                    out.push_back(ms(a[0].a_w.w_sym->s_name, a[1].a_w.w_float));
                else if (a[1].a_type == A_LONG)
                    out.push_back(fr(a[0].a_w.w_sym->s_name, a[1].a_w.w_long));
                else
                    out.push_back("? bad time atom");
            } else {
                out.push_back("? unexpected message on outlet " + std::to_string(m.outlet));
            }
        }
        host.messages.clear();
        return out;
    }
    // Console lines printed with error (and post, when asked) since the last
    // call.
    Lines errors() {
        Lines out;
        for (const auto &l : host.console)
            if (l.kind == headless::ConsoleLine::Error) out.push_back(l.text);
        host.console.clear();
        return out;
    }
};

}  // namespace brindle_test
