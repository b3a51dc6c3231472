// Typed dispatch as every host shares it (host/hostcommon/dispatch.hpp): each
// prototype call_typed can reach gets its arguments in place, registration
// takes exactly the type lists a host can call, and coercion follows Max's
// rules for a host whose atoms hold no integers, as Pd's do.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "host_api.hpp"

#include "dispatch.hpp"

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

}  // namespace
