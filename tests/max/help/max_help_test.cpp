// The Max package's help patchers and its description.  Max opens a
// patcher whatever it holds: a cord to an inlet the object lacks is dropped
// without a word, tessel~ ignores a list whose frequency is an integer, and
// a help file naming a missing sound file fails only when clicked.  So the
// faults a user would meet are looked for here, in the files themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const fs::path source_dir = MAXHELP_SOURCE_DIR;
const fs::path help_dir = source_dir / "host" / "max" / "help";
const fs::path examples_dir = source_dir / "examples";

struct Point {
    double x, y;
};

struct Rect {
    double x, y, w, h;
};

struct Counts {
    int inlets, outlets;
};

std::vector<std::string> words(const std::string &text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

struct Box {
    std::string id, maxclass, text;
    Counts counts{};
    std::vector<std::string> outlet_types;
    Rect rect{};
    std::optional<Counts> subpatcher_ports;  // a box holding a patcher: its inlet and outlet objects

    // What Max calls the box: its class, or the object's name for an object box.
    std::string kind() const {
        if (maxclass != "newobj") return maxclass;
        const auto w = words(text);
        return w.empty() ? std::string() : w.front();
    }
    std::vector<std::string> args() const {
        auto w = words(text);
        if (!w.empty()) w.erase(w.begin());
        return w;
    }
    // Max spreads the ports evenly over the box's edge, each about 7 pixels wide.
    Point outlet(int k) const { return {port_x(k, counts.outlets), rect.y + rect.h}; }
    Point inlet(int k) const { return {port_x(k, counts.inlets), rect.y}; }

private:
    double port_x(int k, int n) const { return rect.x + 3.5 + (n > 1 ? k * (rect.w - 7.0) / (n - 1) : 0.0); }
};

struct Cord {
    std::string from;
    int outlet;
    std::string to;
    int inlet;
    std::vector<Point> midpoints;
};

struct Patcher {
    std::string where;
    Rect window{};
    std::vector<Box> boxes;
    std::vector<Cord> cords;

    const Box *find(const std::string &id) const {
        for (const Box &b : boxes)
            if (b.id == id) return &b;
        return nullptr;
    }
    std::vector<const Box *> of_kind(const std::string &kind) const {
        std::vector<const Box *> out;
        for (const Box &b : boxes)
            if (b.kind() == kind) out.push_back(&b);
        return out;
    }
    std::vector<const Cord *> into(const std::string &id, int inlet) const {
        std::vector<const Cord *> out;
        for (const Cord &c : cords)
            if (c.to == id && c.inlet == inlet) out.push_back(&c);
        return out;
    }
    std::vector<const Cord *> out_of(const std::string &id, int outlet) const {
        std::vector<const Cord *> out;
        for (const Cord &c : cords)
            if (c.from == id && c.outlet == outlet) out.push_back(&c);
        return out;
    }
};

void read_patcher(const json &p, const std::string &where, std::vector<Patcher> &out) {
    Patcher patcher;
    patcher.where = where;
    const json &r = p.at("rect");
    patcher.window = {r.at(0).get<double>(), r.at(1).get<double>(), r.at(2).get<double>(),
                      r.at(3).get<double>()};
    std::vector<std::pair<const json *, std::string>> inner;
    for (const json &entry : p.at("boxes")) {
        const json &b = entry.at("box");
        Box box;
        box.id = b.at("id").get<std::string>();
        box.maxclass = b.at("maxclass").get<std::string>();
        box.text = b.value("text", "");
        box.counts = {b.at("numinlets").get<int>(), b.at("numoutlets").get<int>()};
        box.outlet_types = b.value("outlettype", std::vector<std::string>{});
        const json &pr = b.at("patching_rect");
        box.rect = {pr.at(0).get<double>(), pr.at(1).get<double>(), pr.at(2).get<double>(),
                    pr.at(3).get<double>()};
        if (b.contains("patcher")) {
            Counts ports{0, 0};
            for (const json &e : b.at("patcher").at("boxes")) {
                const std::string cls = e.at("box").at("maxclass").get<std::string>();
                ports.inlets += cls == "inlet";
                ports.outlets += cls == "outlet";
            }
            box.subpatcher_ports = ports;
            inner.emplace_back(&b.at("patcher"), where + "/" + box.text);
        }
        patcher.boxes.push_back(box);
    }
    for (const json &entry : p.at("lines")) {
        const json &l = entry.at("patchline");
        Cord cord{l.at("source").at(0).get<std::string>(),
                  l.at("source").at(1).get<int>(),
                  l.at("destination").at(0).get<std::string>(),
                  l.at("destination").at(1).get<int>(),
                  {}};
        const auto mid = l.value("midpoints", std::vector<double>{});
        for (size_t k = 0; k + 1 < mid.size(); k += 2) cord.midpoints.push_back({mid[k], mid[k + 1]});
        patcher.cords.push_back(cord);
    }
    out.push_back(std::move(patcher));
    for (const auto &[sub, name] : inner) read_patcher(*sub, name, out);
}

std::optional<json> parse_file(const fs::path &path, std::string &error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path.string();
        return std::nullopt;
    }
    json doc = json::parse(in, nullptr, false);
    if (doc.is_discarded()) {
        error = path.filename().string() + " is not valid JSON";
        return std::nullopt;
    }
    return doc;
}

struct Help {
    std::string error;              // empty when the file was read
    std::vector<Patcher> patchers;  // the main patcher first, then the ones inside its boxes
};

// The help patcher of an object, which Max looks up by the object's name.
Help load_help(const std::string &object) {
    Help help;
    const fs::path path = help_dir / (object + ".maxhelp");
    const auto doc = parse_file(path, help.error);
    if (!doc) return help;
    try {
        read_patcher(doc->at("patcher"), path.filename().string(), help.patchers);
    } catch (const json::exception &e) {
        help.error = path.filename().string() + ": " + e.what();
        help.patchers.clear();
    }
    return help;
}

// ---------------------------------------------------------------------------
// Atoms as Max types them when it reads a box's text.

enum class Atom { Int, Float, Dollar, Symbol };

Atom atom_kind(const std::string &w) {
    static const std::regex int_re(R"([+-]?\d+)");
    static const std::regex float_re(R"([+-]?(\d+\.\d*|\.\d+|\d+(\.\d*)?[eE][+-]?\d+))");
    static const std::regex dollar_re(R"(\$\d+)");
    if (std::regex_match(w, int_re)) return Atom::Int;
    if (std::regex_match(w, float_re)) return Atom::Float;
    if (std::regex_match(w, dollar_re)) return Atom::Dollar;
    return Atom::Symbol;
}

// A whole number as Max reads one, or nothing for any other text.
std::optional<int> to_int(const std::string &w) {
    if (atom_kind(w) != Atom::Int) return std::nullopt;
    int v = 0;
    const char *first = w.data() + (w.front() == '+');
    const auto [end, ec] = std::from_chars(first, w.data() + w.size(), v);
    if (ec != std::errc() || end != w.data() + w.size()) return std::nullopt;
    return v;
}

// ---------------------------------------------------------------------------
// The objects' own counts, and those of the Max objects the help files use.

// tessel~ refuses a box whose arguments are out of range; Max then shows a
// box with no ports, which a help file must not hold.
std::optional<Counts> tessel_counts(const std::vector<std::string> &args) {
    if (args.size() > 2) return std::nullopt;
    const auto partials = args.size() > 0 ? to_int(args[0]) : 0;
    const auto outputs = args.size() > 1 ? to_int(args[1]) : 0;
    if (!partials || !outputs) return std::nullopt;
    if (*partials != 0 && (*partials < 1 || *partials > 100)) return std::nullopt;
    if (*outputs != 0 && (*outputs < 1 || *outputs > 8)) return std::nullopt;
    return Counts{3, *outputs == 0 ? 1 : *outputs};
}

std::optional<Counts> expected_counts(const Box &box) {
    static const std::map<std::string, Counts> max_classes = {
        {"comment", {1, 0}}, {"message", {2, 1}}, {"flonum", {1, 2}}, {"number", {1, 2}},
        {"ezdac~", {2, 0}},  {"inlet", {0, 1}},   {"outlet", {1, 0}},
    };
    static const std::map<std::string, Counts> max_objects = {
        {"sig~", {1, 1}},
        {"*~", {2, 1}},
        {"print", {1, 0}},
        {"brindle~", {1, 2}},
    };
    if (box.subpatcher_ports) return box.subpatcher_ports;
    if (box.maxclass != "newobj") {
        const auto it = max_classes.find(box.maxclass);
        return it == max_classes.end() ? std::nullopt : std::optional(it->second);
    }
    if (box.kind() == "tessel~") return tessel_counts(box.args());
    const auto it = max_objects.find(box.kind());
    return it == max_objects.end() ? std::nullopt : std::optional(it->second);
}

// ---------------------------------------------------------------------------
// Messages as a message box sends them.

struct Message {
    std::string selector;
    std::vector<std::string> atoms;
    const Box *box;
};

// A message box sends each comma-separated part out of its outlet; what
// follows a semicolon goes to named receivers instead.  A part starting
// with a number goes out as a list.
std::vector<Message> messages_of(const Box &box) {
    std::vector<Message> out;
    std::string text = box.text.substr(0, box.text.find(';'));
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, ',');) {
        auto w = words(part);
        if (w.empty()) continue;
        const Atom first = atom_kind(w.front());
        if (first == Atom::Symbol) {
            const std::string sel = w.front();
            w.erase(w.begin());
            out.push_back({sel, w, &box});
        } else {
            out.push_back({"list", w, &box});
        }
    }
    return out;
}

// Every message sent by a message box straight into the left inlet of a box of this kind.
std::vector<Message> messages_into(const Help &help, const std::string &object) {
    std::vector<Message> out;
    for (const Patcher &p : help.patchers)
        for (const Box *target : p.of_kind(object))
            for (const Cord *c : p.into(target->id, 0))
                if (const Box *from = p.find(c->from); from && from->maxclass == "message")
                    for (auto &m : messages_of(*from)) out.push_back(std::move(m));
    return out;
}

// Why the object would ignore or refuse the message; empty when it takes it.
using ArgCheck = std::function<std::string(const std::vector<std::string> &)>;

// One argument of a message as its object's reference states it: "float",
// "int?" (optional), "int:1..PARTIALS" (a range), "int:0|1" (the values).
struct ArgRule {
    std::string type;
    bool optional = false;
    std::optional<std::pair<double, double>> range;
    std::vector<std::string> values;
};

ArgRule arg_rule(const std::string &word, int partials) {
    ArgRule rule;
    const size_t colon = word.find(':');
    rule.type = word.substr(0, colon);
    if (rule.type.ends_with('?')) {
        rule.optional = true;
        rule.type.pop_back();
    }
    if (colon == std::string::npos) return rule;
    const std::string rest = word.substr(colon + 1);
    const auto bound = [&](const std::string &b) { return b == "PARTIALS" ? partials : std::stod(b); };
    if (const size_t dots = rest.find(".."); dots != std::string::npos) {
        rule.range = std::pair(bound(rest.substr(0, dots)), bound(rest.substr(dots + 2)));
    } else {
        std::istringstream in(rest);
        for (std::string v; std::getline(in, v, '|');) rule.values.push_back(v);
    }
    return rule;
}

// A message box's words as the object takes them.  A method declared with
// a number takes an int or a float; a list's atoms keep their types
// (tessel~ ignores a list whose frequency is an integer).
ArgCheck check_args(const std::string &selector, const std::vector<ArgRule> &rules) {
    return [selector, rules](const std::vector<std::string> &a) -> std::string {
        size_t required = 0;
        for (const ArgRule &s : rules) required += !s.optional;
        if (a.size() < required || a.size() > rules.size())
            return "takes " + std::to_string(required) + " to " + std::to_string(rules.size()) + " arguments";
        for (size_t k = 0; k < a.size(); ++k) {
            const ArgRule &s = rules[k];
            const Atom kind = atom_kind(a[k]);
            if (kind == Atom::Dollar) continue;
            const std::string which = "argument " + std::to_string(k + 1) + " ";
            if (s.type == "symbol") continue;
            if (kind == Atom::Symbol) return which + "must be a number";
            if (selector == "list" && (kind == Atom::Int) != (s.type == "int"))
                return which + "must be an " + s.type;
            if (!s.values.empty() && std::find(s.values.begin(), s.values.end(), a[k]) == s.values.end())
                return which + "is none of its values";
            const double v = std::stod(a[k]);
            if (s.range && (v < s.range->first || v > s.range->second)) return which + "is out of range";
        }
        return "";
    };
}

// The messages the object takes, from the list made from its reference
// file (BUILD/reference/OBJECT.messages); empty when that cannot be read.
std::map<std::string, ArgCheck> messages_taken(const std::string &object, int partials = 0) {
    std::map<std::string, ArgCheck> taken;
    std::ifstream in(fs::path(MAXHELP_REFERENCE_DIR) / (object + ".messages"));
    for (std::string line; std::getline(in, line);) {
        const auto w = words(line);
        if (w.empty()) continue;
        std::vector<ArgRule> rules;
        for (size_t k = 1; k < w.size(); ++k) rules.push_back(arg_rule(w[k], partials));
        taken[w[0]] = check_args(w[0], rules);
    }
    return taken;
}

// Every message the object takes reaches it; every message sent is one it
// takes, with arguments it accepts; a $1 message has something feeding it.
void expect_messages(const Help &help, const std::string &object,
                     const std::map<std::string, ArgCheck> &taken) {
    const auto sent = messages_into(help, object);
    std::set<std::string> seen;
    for (const Message &m : sent) {
        seen.insert(m.selector);
        const auto it = taken.find(m.selector);
        if (it == taken.end()) {
            ADD_FAILURE() << object << " does not take \"" << m.box->text << "\"";
            continue;
        }
        const std::string why = it->second(m.atoms);
        EXPECT_EQ(why, "") << "\"" << m.box->text << "\": " << m.selector << " " << why;
        const bool dollar = std::any_of(m.atoms.begin(), m.atoms.end(),
                                        [](const std::string &w) { return atom_kind(w) == Atom::Dollar; });
        if (dollar) {
            bool fed = false;
            for (const Patcher &p : help.patchers)
                if (p.find(m.box->id) == m.box) fed = !p.into(m.box->id, 0).empty();
            EXPECT_TRUE(fed) << "nothing feeds \"" << m.box->text << "\"";
        }
    }
    for (const auto &[selector, check] : taken)
        EXPECT_TRUE(seen.count(selector)) << "the help of " << object << " never sends " << selector;
}

// ---------------------------------------------------------------------------
// Layout geometry.

bool overlap(const Rect &a, const Rect &b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

double orient(Point a, Point b, Point c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

// Crossing in the middle; cords meeting at a shared port do not count.
bool cross(Point a0, Point a1, Point b0, Point b1) {
    return orient(a0, a1, b0) * orient(a0, a1, b1) < 0 && orient(b0, b1, a0) * orient(b0, b1, a1) < 0;
}

// Whether the segment runs through the inside of the rectangle (Liang-Barsky).
bool through(Point a, Point b, Rect r) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - r.x, r.x + r.w - a.x, a.y - r.y, r.y + r.h - a.y};
    double t0 = 0, t1 = 1;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] <= 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    return t0 < t1;
}

struct Segment {
    Point a, b;
    const Cord *cord;
};

std::vector<Segment> segments(const Patcher &p, const Cord &c) {
    const Box *from = p.find(c.from);
    const Box *to = p.find(c.to);
    std::vector<Point> pts{from->outlet(c.outlet)};
    pts.insert(pts.end(), c.midpoints.begin(), c.midpoints.end());
    pts.push_back(to->inlet(c.inlet));
    std::vector<Segment> out;
    for (size_t k = 0; k + 1 < pts.size(); ++k) out.push_back({pts[k], pts[k + 1], &c});
    return out;
}

std::string describe(const Patcher &p, const Cord &c) {
    return p.where + ": " + p.find(c.from)->text + "[" + p.find(c.from)->maxclass + "] -> " +
           p.find(c.to)->text + "[" + p.find(c.to)->maxclass + "]";
}

// ---------------------------------------------------------------------------
// Checks every help patcher must pass.

class HelpPatcher : public testing::TestWithParam<std::string> {};

TEST_P(HelpPatcher, CordsJoinPortsThatExist) {
    const Help help = load_help(GetParam());
    ASSERT_EQ(help.error, "");
    ASSERT_FALSE(help.patchers.empty());
    for (const Patcher &p : help.patchers) {
        std::set<std::string> ids;
        for (const Box &b : p.boxes)
            EXPECT_TRUE(ids.insert(b.id).second) << p.where << ": two boxes " << b.id;
        for (const Cord &c : p.cords) {
            const Box *from = p.find(c.from);
            const Box *to = p.find(c.to);
            ASSERT_TRUE(from) << p.where << ": a cord from the missing box " << c.from;
            ASSERT_TRUE(to) << p.where << ": a cord to the missing box " << c.to;
            EXPECT_TRUE(c.outlet >= 0 && c.outlet < from->counts.outlets)
                << p.where << ": " << from->text << " has no outlet " << c.outlet;
            EXPECT_TRUE(c.inlet >= 0 && c.inlet < to->counts.inlets)
                << p.where << ": " << to->text << " has no inlet " << c.inlet;
        }
    }
}

// The counts saved in the file are what the cords are checked against, so
// they must be the objects' own.
TEST_P(HelpPatcher, BoxesHaveTheirObjectsCounts) {
    const Help help = load_help(GetParam());
    ASSERT_EQ(help.error, "");
    bool has_object = false;
    for (const Patcher &p : help.patchers)
        for (const Box &b : p.boxes) {
            has_object |= b.kind() == GetParam();
            const auto expected = expected_counts(b);
            if (!expected) {
                ADD_FAILURE() << p.where << ": " << b.maxclass << " \"" << b.text
                              << "\" is no object this test knows the ports of (or is refused by its object)";
                continue;
            }
            EXPECT_EQ(b.counts.inlets, expected->inlets)
                << p.where << ": inlets of " << b.maxclass << " " << b.text;
            EXPECT_EQ(b.counts.outlets, expected->outlets)
                << p.where << ": outlets of " << b.maxclass << " " << b.text;
            if (b.counts.outlets > 0) {
                EXPECT_EQ(b.outlet_types.size(), size_t(b.counts.outlets))
                    << p.where << ": outlettype of " << b.text;
            }
        }
    EXPECT_TRUE(has_object) << GetParam() << ".maxhelp holds no " << GetParam() << " box";
}

TEST_P(HelpPatcher, EveryOutletOfTheObjectLeadsSomewhere) {
    const Help help = load_help(GetParam());
    ASSERT_EQ(help.error, "");
    for (const Patcher &p : help.patchers)
        for (const Box *b : p.of_kind(GetParam()))
            for (int k = 0; k < b->counts.outlets; ++k)
                EXPECT_FALSE(p.out_of(b->id, k).empty()) << p.where << ": outlet " << k << " of " << b->text;
}

// Boxes do not cover each other, cords do not cross, no cord runs behind a
// box it does not join, and the window (the patcher's "rect": position and
// size) shows every box.
TEST_P(HelpPatcher, LayoutIsReadable) {
    const Help help = load_help(GetParam());
    ASSERT_EQ(help.error, "");
    for (const Patcher &p : help.patchers) {
        for (size_t i = 0; i < p.boxes.size(); ++i) {
            const Box &a = p.boxes[i];
            EXPECT_LE(a.rect.x + a.rect.w, p.window.w)
                << p.where << ": " << a.text << " lies right of the window";
            EXPECT_LE(a.rect.y + a.rect.h, p.window.h)
                << p.where << ": " << a.text << " lies below the window";
            for (size_t j = i + 1; j < p.boxes.size(); ++j)
                EXPECT_FALSE(overlap(a.rect, p.boxes[j].rect))
                    << p.where << ": " << a.maxclass << " \"" << a.text << "\" covers " << p.boxes[j].maxclass
                    << " \"" << p.boxes[j].text << "\"";
        }
        std::vector<Segment> all;
        for (const Cord &c : p.cords) {
            if (!p.find(c.from) || !p.find(c.to)) continue;  // reported by CordsJoinPortsThatExist
            for (const Segment &s : segments(p, c)) all.push_back(s);
        }
        for (size_t i = 0; i < all.size(); ++i) {
            for (size_t j = i + 1; j < all.size(); ++j)
                EXPECT_FALSE(all[i].cord != all[j].cord && cross(all[i].a, all[i].b, all[j].a, all[j].b))
                    << describe(p, *all[i].cord) << " crosses " << describe(p, *all[j].cord);
            for (const Box &b : p.boxes) {
                if (b.id == all[i].cord->from || b.id == all[i].cord->to) continue;
                const Rect inside{b.rect.x + 1, b.rect.y + 1, b.rect.w - 2, b.rect.h - 2};
                EXPECT_FALSE(through(all[i].a, all[i].b, inside))
                    << describe(p, *all[i].cord) << " runs behind " << b.maxclass << " \"" << b.text << "\"";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Objects, HelpPatcher, testing::Values("tessel~", "brindle~"),
                         [](const testing::TestParamInfo<std::string> &info) {
                             return info.param.substr(0, info.param.size() - 1);
                         });

// ---------------------------------------------------------------------------
// What each help shows of its object.

bool is_dac(const Box &b) { return b.maxclass == "ezdac~" || b.kind() == "dac~"; }
bool is_gain(const Box &b) { return b.kind() == "*~" || b.kind() == "live.gain~" || b.kind() == "gain~"; }

TEST(TesselHelp, SendsEveryMessageAsTesselTakesIt) {
    const Help help = load_help("tessel~");
    ASSERT_EQ(help.error, "");
    // Lists are checked against the smallest partial count among the boxes.
    int partials = 100;
    for (const Patcher &p : help.patchers)
        for (const Box *b : p.of_kind("tessel~")) {
            const auto args = b->args();
            const int n = args.empty() ? 0 : to_int(args[0]).value_or(0);
            partials = std::min(partials, n == 0 ? 50 : n);
        }
    const auto taken = messages_taken("tessel~", partials);
    ASSERT_FALSE(taken.empty()) << "no message list of tessel~ in " << MAXHELP_REFERENCE_DIR;
    expect_messages(help, "tessel~", taken);
}

// tessel~ is silent without a signal at its left inlet, and a help that
// wires its outlets straight to the DAC plays up to 100 partials at full
// scale; each outlet goes through a gain to its own DAC channel.
TEST(TesselHelp, SoundsThroughAGainIntoBothChannels) {
    const Help help = load_help("tessel~");
    ASSERT_EQ(help.error, "");
    int objects = 0;
    for (const Patcher &p : help.patchers)
        for (const Box *t : p.of_kind("tessel~")) {
            ++objects;
            bool signal_in = false;
            for (const Cord *c : p.into(t->id, 0)) {
                const Box *from = p.find(c->from);
                if (from && size_t(c->outlet) < from->outlet_types.size())
                    signal_in |= from->outlet_types[c->outlet] == "signal";
            }
            EXPECT_TRUE(signal_in) << "no signal reaches the left inlet of " << t->text;

            std::set<int> channels;
            for (int k = 0; k < t->counts.outlets; ++k) {
                std::set<int> reached;
                for (const Cord *c : p.out_of(t->id, k)) {
                    const Box *next = p.find(c->to);
                    ASSERT_TRUE(next);
                    EXPECT_FALSE(is_dac(*next))
                        << "outlet " << k << " of " << t->text << " goes straight to the DAC";
                    if (!is_gain(*next)) continue;
                    for (const Cord *d : p.out_of(next->id, 0))
                        if (const Box *dac = p.find(d->to); dac && is_dac(*dac)) reached.insert(d->inlet);
                }
                EXPECT_EQ(reached.size(), 1u)
                    << "outlet " << k << " of " << t->text << " should reach one DAC channel through a gain";
                channels.insert(reached.begin(), reached.end());
            }
            EXPECT_EQ(channels.size(), size_t(std::min(t->counts.outlets, 2)))
                << "the outlets of " << t->text << " share a DAC channel";
        }
    EXPECT_GT(objects, 0);
}

TEST(BrindleHelp, SendsEveryMessageAsBrindleTakesIt) {
    const Help help = load_help("brindle~");
    ASSERT_EQ(help.error, "");
    const auto taken = messages_taken("brindle~");
    ASSERT_FALSE(taken.empty()) << "no message list of brindle~ in " << MAXHELP_REFERENCE_DIR;
    expect_messages(help, "brindle~", taken);
    // Both settings must be shown both ways, or the help cannot undo them.
    std::set<std::string> shown;
    for (const Message &m : messages_into(help, "brindle~"))
        if (m.atoms.size() == 1) shown.insert(m.selector + " " + m.atoms[0]);
    for (const char *m : {"peak 0", "peak 1", "mode 0", "mode 1"})
        EXPECT_TRUE(shown.count(m)) << "no \"" << m << "\"";
}

// The example files are copied beside the help patcher, so every name the
// help opens must be one of them, and every example sound file is offered.
TEST(BrindleHelp, OpensTheExampleFiles) {
    const Help help = load_help("brindle~");
    ASSERT_EQ(help.error, "");
    std::set<std::string> named;
    for (const Message &m : messages_into(help, "brindle~"))
        if (m.selector == "open" && !m.atoms.empty()) named.insert(m.atoms[0]);
    for (const Patcher &p : help.patchers)
        for (const Box *b : p.of_kind("brindle~"))
            if (!b->args().empty()) named.insert(b->args()[0]);
    for (const std::string &name : named) {
        EXPECT_TRUE(fs::is_regular_file(examples_dir / name)) << name << " is not in examples/";
        // A Sound Designer II file keeps its markers in its resource fork.
        if (fs::path(name).extension() == ".sd2") {
            EXPECT_TRUE(fs::is_regular_file(examples_dir / (name + ".rsrc")))
                << name << " has no resource fork";
        }
    }
    for (const auto &entry : fs::directory_iterator(examples_dir)) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".wav" || ext == ".aif" || ext == ".aiff" || ext == ".aifc" || ext == ".sd2") {
            EXPECT_TRUE(named.count(entry.path().filename().string()))
                << "the help never opens " << entry.path().filename().string();
        }
    }
}

// ---------------------------------------------------------------------------
// The package description, before CMake puts the version in.

TEST(PackageInfo, DescribesTheWindowsPackageAndItsHelp) {
    std::string error;
    const auto info = parse_file(source_dir / "host" / "max" / "package-info.json.in", error);
    ASSERT_TRUE(info) << error;
    ASSERT_TRUE(info->is_object());
    EXPECT_EQ(info->value("name", ""), "tessel-brindle");
    // A version written here would go stale; the build fills it in.
    EXPECT_EQ(info->value("version", ""), "@PROJECT_VERSION@");

    // Only Windows x64 externals are built; Max must not offer the package elsewhere.
    ASSERT_TRUE(info->contains("os") && info->at("os").is_object());
    const json &os = info->at("os");
    EXPECT_EQ(os.size(), 1u) << os.dump();
    ASSERT_TRUE(os.contains("windows"));
    EXPECT_EQ(os.at("windows").value("platform", json::array()), json::array({"x64"}));

    std::set<std::string> help_files;
    for (const auto &entry : fs::directory_iterator(help_dir))
        if (entry.path().extension() == ".maxhelp") help_files.insert(entry.path().filename().string());
    ASSERT_TRUE(info->contains("filelist") && info->at("filelist").is_object());
    std::set<std::string> listed;
    for (const auto &[kind, files] : info->at("filelist").items()) {
        ASSERT_TRUE(files.is_array()) << kind;
        for (const json &f : files) {
            ASSERT_TRUE(f.is_string()) << kind;
            EXPECT_TRUE(help_files.count(f.get<std::string>()))
                << f << " in filelist." << kind << " is no help file";
            if (kind == "help") listed.insert(f.get<std::string>());
        }
    }
    EXPECT_EQ(listed, help_files) << "filelist.help must name every help file";
}

}  // namespace
