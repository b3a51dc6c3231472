// Typed dispatch as every host shares it (host/hostcommon/dispatch.hpp): each
// prototype call_typed can reach gets its arguments in place, registration
// takes exactly the type lists a host can call, coercion follows Max's
// rules for a host whose atoms hold no integers, as Pd's do, and a message
// finds its method by the one lookup every host makes.  The symbol table
// the hosts share, and the headless host's side of the lookup and of
// creation.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "host_api.hpp"

#include "atoms.hpp"
#include "dispatch.hpp"
#include "host.hpp"

using hostcommon::Arg;

namespace {

// --- call_typed ------------------------------------------------------------

std::vector<std::string> got;

std::string describe(void *p) { return "obj " + std::to_string(reinterpret_cast<uintptr_t>(p)); }
std::string describe(int32_t v) { return "long " + std::to_string(v); }
std::string describe(double v) { return "float " + std::to_string(v); }
std::string describe(t_symbol *s) { return std::string("sym ") + s->s_name; }

template <class... Ts>
void record(void *obj, Ts... vs) {
    got = {describe(obj)};
    (got.push_back(describe(vs)), ...);
}

// Kind 0, 1, 2: the three alternatives of Arg.
template <std::size_t K>
using KindType = std::variant_alternative_t<K, Arg>;

constexpr std::size_t digit(std::size_t code, std::size_t place) {
    for (std::size_t i = 0; i < place; ++i) code /= 3;
    return code % 3;
}

// A value of each kind that tells its place apart from the others.
Arg value_at(std::size_t kind, std::size_t place) {
    switch (kind) {
    case 0: return int32_t(100 + static_cast<int32_t>(place));
    case 1: return 0.5 + static_cast<double>(place);
    default: return gensym(("s" + std::to_string(place)).c_str());
    }
}

// The combination Code (base 3, one digit per argument) of N arguments:
// called through call_typed, it must reach the function of exactly that
// prototype with every value in its place.
template <std::size_t Code, std::size_t... Place>
void check_prototype(std::index_sequence<Place...>) {
    auto *fn = &record<KindType<digit(Code, Place)>...>;
    const std::vector<Arg> args{value_at(digit(Code, Place), Place)...};
    std::vector<std::string> want{describe(&got)};
    for (const Arg &a : args) want.push_back(std::visit([](auto v) { return describe(v); }, a));

    got.clear();
    hostcommon::call_typed<void>(reinterpret_cast<method>(fn), args.data(), args.size(),
                                 static_cast<void *>(&got));
    EXPECT_EQ(got, want) << "arguments " << sizeof...(Place) << ", combination " << Code;
}

template <std::size_t N, std::size_t... Code>
void check_all_prototypes(std::index_sequence<Code...>) {
    (check_prototype<Code>(std::make_index_sequence<N>{}), ...);
}

constexpr std::size_t pow3(std::size_t n) { return n == 0 ? 1 : 3 * pow3(n - 1); }

void *made_with(int32_t n, t_symbol *s) {
    got = {describe(n), describe(s)};
    return &got;
}

TEST(CallTyped, ReachesEveryPrototypeWithItsArgumentsInPlace) {
    check_all_prototypes<0>(std::make_index_sequence<pow3(0)>{});
    check_all_prototypes<1>(std::make_index_sequence<pow3(1)>{});
    check_all_prototypes<2>(std::make_index_sequence<pow3(2)>{});
    check_all_prototypes<3>(std::make_index_sequence<pow3(3)>{});
    check_all_prototypes<4>(std::make_index_sequence<pow3(4)>{});
}

TEST(CallTyped, CreationFunctionsTakeNoRecordAndGiveOneBack) {
    const std::vector<Arg> args{int32_t{7}, gensym("seven")};
    got.clear();
    void *r = hostcommon::call_typed<void *>(reinterpret_cast<method>(&made_with), args.data(), args.size());
    EXPECT_EQ(r, &got);
    EXPECT_EQ(got, (std::vector<std::string>{"long 7", "sym seven"}));
}

// --- registration ------------------------------------------------------------

// A type list as setup and addmess read theirs: after the last named
// argument.
std::vector<short> types_after(const char *, ...);
std::vector<short> types_after(const char *last, ...) {
    va_list ap;
    va_start(ap, last);
    std::vector<short> types = hostcommon::read_types(ap);
    va_end(ap);
    return types;
}

TEST(Registration, TypeListsEndAtNothingOrAtTheGuard) {
    EXPECT_EQ(types_after("none", A_NOTHING), std::vector<short>{});
    EXPECT_EQ(types_after("two", A_LONG, A_SYM, A_NOTHING), (std::vector<short>{A_LONG, A_SYM}));
    // A list whose end is far off is cut short, and then refused.
    const std::vector<short> runaway = types_after(
        "many", A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG,
        A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_LONG, A_NOTHING);
    EXPECT_EQ(runaway.size(), 17u);
    EXPECT_FALSE(hostcommon::types_callable(runaway));
}

TEST(Registration, HostsCallUpToFourTypedArgumentsOrOneGimmeOrCant) {
    using V = std::vector<short>;
    EXPECT_TRUE(hostcommon::types_callable(V{}));
    EXPECT_TRUE(hostcommon::types_callable(V{A_LONG, A_FLOAT, A_SYM, A_DEFSYM}));
    EXPECT_TRUE(hostcommon::types_callable(V{A_DEFLONG}));
    EXPECT_TRUE(hostcommon::types_callable(V{A_GIMME}));
    EXPECT_TRUE(hostcommon::types_callable(V{A_CANT}));

    EXPECT_FALSE(hostcommon::types_callable(V{A_LONG, A_LONG, A_LONG, A_LONG, A_LONG}));
    EXPECT_FALSE(hostcommon::types_callable(V{A_LONG, A_GIMME}));
    EXPECT_FALSE(hostcommon::types_callable(V{A_GIMME, A_GIMME}));
    EXPECT_FALSE(hostcommon::types_callable(V{A_CANT, A_LONG}));
    EXPECT_FALSE(hostcommon::types_callable(V{4}));  // no such type code
}

// --- coercion ----------------------------------------------------------------

// Atoms of a host that has only floats and symbols.
struct FloatsAndSymbols {
    std::vector<std::variant<float, const char *>> atoms;
    std::size_t size() const { return atoms.size(); }
    std::optional<int32_t> long_at(std::size_t) const { return std::nullopt; }
    std::optional<double> float_at(std::size_t i) const {
        if (auto *f = std::get_if<float>(&atoms[i])) return *f;
        return std::nullopt;
    }
    t_symbol *symbol_at(std::size_t i) const {
        if (auto *s = std::get_if<const char *>(&atoms[i])) return gensym(*s);
        return nullptr;
    }
};

TEST(Coerce, AHostWithoutIntegersCutsFloatsForLongs) {
    const std::vector<short> types{A_LONG, A_LONG, A_FLOAT, A_SYM};
    hostcommon::ArgList out;
    ASSERT_TRUE(hostcommon::coerce(types, FloatsAndSymbols{{-2.9f, 5e9f, 2.5f, "x"}}, out));
    ASSERT_EQ(out.size(), types.size());
    EXPECT_EQ(std::get<int32_t>(out[0]), -2);
    EXPECT_EQ(std::get<int32_t>(out[1]), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(std::get<double>(out[2]), 2.5);
    EXPECT_STREQ(std::get<t_symbol *>(out[3])->s_name, "x");
    ASSERT_TRUE(hostcommon::coerce(std::vector<short>{A_DEFLONG, A_DEFSYM}, FloatsAndSymbols{{}}, out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(std::get<int32_t>(out[0]), 0);
    EXPECT_STREQ(std::get<t_symbol *>(out[1])->s_name, "");
    // More arguments than any prototype the hosts call through.
    EXPECT_FALSE(hostcommon::coerce(std::vector<short>(5, A_DEFLONG), FloatsAndSymbols{{}}, out));

    EXPECT_FALSE(hostcommon::coerce(std::vector<short>{A_LONG}, FloatsAndSymbols{{"x"}}, out));
    EXPECT_FALSE(hostcommon::coerce(std::vector<short>{A_FLOAT}, FloatsAndSymbols{{"x"}}, out));
    EXPECT_FALSE(hostcommon::coerce(std::vector<short>{A_SYM}, FloatsAndSymbols{{1.0f}}, out));
    EXPECT_FALSE(hostcommon::coerce(std::vector<short>{A_GIMME}, FloatsAndSymbols{{}}, out));
}

// --- the lookup ----------------------------------------------------------------

TEST(Route, TheExactMethodThenTheHostsConversionsThenTheCatchAll) {
    using hostcommon::NumberConversion;
    constexpr auto kNone = NumberConversion::None;
    constexpr auto kPd = NumberConversion::OtherNumberThenList;
    struct Case {
        std::vector<const char *> bound;  // "dsp" is bound A_CANT
        const char *selector;
        NumberConversion numbers;
        const char *method;  // "" for none
        bool anything;
    } cases[] = {
        {{"int", "float", "list", "anything"}, "int", kPd, "int", false},
        {{"float", "list", "anything"}, "int", kNone, "anything", true},
        {{"float", "list", "anything"}, "int", kPd, "float", false},
        {{"int", "anything"}, "float", kPd, "int", false},
        {{"list", "anything"}, "float", kPd, "list", false},
        {{"list"}, "bang", kPd, "", false},
        {{"anything"}, "frob", kNone, "anything", true},
        {{"dsp", "anything"}, "dsp", kNone, "anything", true},
        {{"dsp"}, "dsp", kNone, "", false},
        {{}, "int", kPd, "", false},
    };
    for (const Case &c : cases) {
        std::map<std::string, hostcommon::Binding, std::less<>> bindings;
        for (const char *name : c.bound)
            bindings[name] = hostcommon::Binding{
                nullptr, std::string(name) == "dsp" ? std::vector<short>{A_CANT} : std::vector<short>{}};
        const auto to = hostcommon::route(bindings, c.selector, c.numbers);
        const std::string where =
            std::string(c.selector) + " with " + std::to_string(c.bound.size()) + " bound";
        EXPECT_EQ(to.binding ? std::string(to.method) : "", c.method) << where;
        EXPECT_EQ(to.anything, c.anything) << where;
    }
}

// --- the symbol table ------------------------------------------------------------

TEST(SymbolTable, FindsWithoutMaking) {
    hostcommon::SymbolTable table;
    EXPECT_EQ(table.find("a"), nullptr);
    t_symbol *a = table.intern("a");
    EXPECT_STREQ(a->s_name, "a");
    EXPECT_EQ(table.find("a"), a);
    EXPECT_EQ(table.intern("a"), a);
    EXPECT_EQ(table.find("ab"), nullptr);
    EXPECT_EQ(table.find(""), nullptr);
    // A name holding a NUL names no symbol (nor is a symbol read past its
    // end to say so).
    EXPECT_EQ(table.find(std::string_view("a\0bcdefgh", 9)), nullptr);
    EXPECT_STREQ(table.intern("")->s_name, "");
}

// A reader never waits for the one thread that makes symbols, whatever it
// finds is whole, and the table grows (several times over here) without
// losing one.
TEST(SymbolTable, ReadersLookUpWhileSymbolsAreMade) {
    hostcommon::SymbolTable table;
    constexpr int kNames = 20000;
    std::atomic<int> made{0};
    std::thread writer([&] {
        for (int i = 0; i < kNames; ++i) {
            table.intern("n" + std::to_string(i));
            made.store(i + 1, std::memory_order_release);
        }
    });
    int wrong = 0, missing = 0;
    // Rounds until one that starts with every symbol made.
    for (bool last = false; !last;) {
        const int before = made.load(std::memory_order_acquire);
        last = before == kNames;
        for (int i = 0; i < kNames; i += 7) {
            const std::string name = "n" + std::to_string(i);
            if (t_symbol *s = table.find(name)) {
                wrong += name != s->s_name;
            } else {
                missing += i < before;
            }
        }
    }
    writer.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(missing, 0);
}

// --- the headless host ----------------------------------------------------------

struct t_catchall {
    t_object ob;
};
t_messlist *catchall_class;
std::vector<std::string> caught;

void *catchall_new(t_symbol *, short ac, t_atom *) {
    caught.push_back("new " + std::to_string(ac));
    return newobject(catchall_class);
}
void catchall_list(t_catchall *, t_symbol *s, short ac, t_atom *) {
    caught.push_back(std::string(s->s_name) + " " + std::to_string(ac));
}
void catchall_anything(t_catchall *, t_symbol *s, short ac, t_atom *) {
    caught.push_back(std::string("anything ") + s->s_name + " " + std::to_string(ac));
}
int catchall_main() {
    setup(&catchall_class, (method)catchall_new, nullptr, sizeof(t_catchall), 0, A_GIMME, 0);
    addmess((method)catchall_list, "list", A_GIMME, 0);
    addmess((method)catchall_anything, "anything", A_GIMME, 0);
    return 0;
}

std::vector<std::string> errors(const headless::Host &host) {
    std::vector<std::string> out;
    for (const auto &line : host.console)
        if (line.kind == headless::ConsoleLine::Error) out.push_back(line.text);
    return out;
}

TEST(HeadlessDispatch, MessagesWithoutAMethodOfTheirOwnReachTheCatchAll) {
    headless::Host host;
    ASSERT_TRUE(host.register_class("catchall", catchall_main));
    headless::Box *b = host.new_box("c", "catchall");
    ASSERT_NE(b, nullptr);
    caught.clear();
    host.send(b, std::vector<t_atom>{headless::sym_atom("frob"), headless::long_atom(1)});
    host.send(b, std::vector<t_atom>{headless::long_atom(3)});
    host.send(b, std::vector<t_atom>{headless::long_atom(1), headless::float_atom(2)});
    EXPECT_EQ(caught, (std::vector<std::string>{"anything frob 1", "anything int 1", "list 2"}));
    EXPECT_TRUE(errors(host).empty());
}

// new_gimme passes the count as a short: 65 539 would make a box of 3.
TEST(HeadlessDispatch, CreationsTooLongForAShortCountAreRefused) {
    headless::Host host;
    ASSERT_TRUE(host.register_class("catchall", catchall_main));
    caught.clear();
    EXPECT_EQ(host.new_box("c", "catchall", std::vector<t_atom>(65539, headless::long_atom(1))), nullptr);
    EXPECT_EQ(host.new_box("d", "catchall", std::vector<t_atom>(32768, headless::long_atom(1))), nullptr);
    EXPECT_TRUE(caught.empty()) << caught.front();
    EXPECT_EQ(errors(host),
              (std::vector<std::string>{
                  "catchall: message \"new\" of 65539 atoms refused: at most 32767 are taken",
                  "catchall: message \"new\" of 32768 atoms refused: at most 32767 are taken"}));
    EXPECT_NE(host.new_box("e", "catchall", std::vector<t_atom>(32767, headless::long_atom(1))), nullptr);
    EXPECT_EQ(caught, std::vector<std::string>{"new 32767"});
}

}  // namespace
