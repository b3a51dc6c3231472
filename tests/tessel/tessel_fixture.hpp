// Shared fixture: a fresh headless host with tessel~ loaded from its bundle.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host.hpp"
#include "tessel.h"

namespace tessel_test {

inline t_atom L(int32_t v) { return headless::long_atom(v); }
inline t_atom F(float v) { return headless::float_atom(v); }

// Box names such as "t3".  Appending (rather than "t" + to_string) keeps
// GCC 12's -Wrestrict false positive at -O3 away.
inline std::string numbered(const char *prefix, int n) {
    std::string s = prefix;
    s += std::to_string(n);
    return s;
}

struct TesselTest : ::testing::Test {
    headless::Host host;

    void SetUp() override { ASSERT_TRUE(host.load_class("tessel~")); }

    headless::Box *make(const std::string &name, std::vector<t_atom> args = {}) {
        return host.new_box(name, "tessel~", args);
    }
    t_tessel &rec(headless::Box *b) { return *static_cast<t_tessel *>(host.instance(b)); }
    void send(headless::Box *b, std::vector<t_atom> atoms) { host.send(b, atoms); }
    void set(headless::Box *b, const char *selector, float v) {
        std::vector<t_atom> a{F(v)};
        host.send_message(b, gensym(selector), a);
    }
    const std::vector<float> &out(headless::Box *b, int outlet) { return host.recorded(b).at(outlet); }
    std::vector<std::string> lines(headless::ConsoleLine::Kind kind) const {
        std::vector<std::string> r;
        for (const auto &l : host.console)
            if (l.kind == kind) r.push_back(l.text);
        return r;
    }
};

}  // namespace tessel_test
