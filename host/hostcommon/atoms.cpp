// Atoms, symbols and text as every host makes them; compiled into each host
// with its own host_api.hpp, so that inside a Pd or Max external these are
// the external's functions.
//
// host_api.hpp is not in this folder: each host's folder has its own, and
// this source reads the one of the host it is compiled into, found through
// the include path that host's target gives it (its own folder; see
// host/CMakeLists.txt).  No host_api.hpp on the path, no build; two, and the
// first wins, silently.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "host_api.hpp"

#include "atoms.hpp"

namespace hostcommon {

namespace {

// FNV-1a: symbols are short, and their texts differ anywhere.
std::size_t hash_of(std::string_view name) {
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
    return static_cast<std::size_t>(h ^ (h >> 32));
}

// Never reads past the symbol's NUL, even for a name holding one.
bool names(const t_symbol *sym, std::string_view name) {
    const char *s = sym->s_name;
    for (char c : name) {
        if (*s == '\0' || *s != c) return false;
        ++s;
    }
    return *s == '\0';
}

constexpr std::size_t kFirstSlots = 256;

// Room for one more, growing geometrically (reserve alone grows by what
// it is asked).
template <class V>
void room_for_one(V &v) {
    if (v.size() == v.capacity()) v.reserve(v.size() < 16 ? 16 : v.size() * 2);
}

}  // namespace

SymbolTable::SymbolTable() {
    tables_.push_back(std::make_unique<Slots>(
        Slots{kFirstSlots - 1, std::make_unique<std::atomic<t_symbol *>[]>(kFirstSlots)}));
    current_.store(tables_.back().get(), std::memory_order_release);
}

SymbolTable::~SymbolTable() = default;

t_symbol *SymbolTable::find(std::string_view name) const {
    const Slots *t = current_.load(std::memory_order_acquire);
    for (std::size_t i = hash_of(name) & t->mask;; i = (i + 1) & t->mask) {
        t_symbol *sym = t->slots[i].load(std::memory_order_acquire);
        if (!sym) return nullptr;
        if (names(sym, name)) return sym;
    }
}

void SymbolTable::place(const Slots &t, t_symbol *sym) {
    std::size_t i = hash_of(sym->s_name) & t.mask;
    while (t.slots[i].load(std::memory_order_relaxed)) i = (i + 1) & t.mask;
    t.slots[i].store(sym, std::memory_order_release);
}

t_symbol *SymbolTable::intern(std::string_view name) {
    if (t_symbol *sym = find(name)) return sym;
    // Room first, so that nothing is half made when memory runs out.
    room_for_one(symbols_);
    room_for_one(names_);
    const Slots *t = current_.load(std::memory_order_relaxed);
    if ((symbols_.size() + 1) * 2 > t->mask + 1) {
        const std::size_t n = (t->mask + 1) * 2;
        room_for_one(tables_);
        auto bigger = std::make_unique<Slots>(Slots{n - 1, std::make_unique<std::atomic<t_symbol *>[]>(n)});
        for (const auto &sym : symbols_) place(*bigger, sym.get());
        t = bigger.get();
        tables_.push_back(std::move(bigger));
        current_.store(t, std::memory_order_release);
    }
    auto text = std::make_unique<char[]>(name.size() + 1);
    std::memcpy(text.get(), name.data(), name.size());
    text[name.size()] = '\0';
    auto sym = std::make_unique<t_symbol>();
    sym->s_name = text.get();
    sym->s_thing = nullptr;
    names_.push_back(std::move(text));
    symbols_.push_back(std::move(sym));
    place(*t, symbols_.back().get());
    return symbols_.back().get();
}

t_symbol *intern(SymbolTable &table, const char *s) { return table.intern(s ? s : ""); }

}  // namespace hostcommon

extern "C" {

void ptoccpy(char *dst, const unsigned char *src) {
    if (!dst) return;
    if (!src) {
        dst[0] = '\0';
        return;
    }
    const std::size_t n = src[0];
    std::memcpy(dst, src + 1, n);
    dst[n] = '\0';
}

void atom_setlong(t_atom *a, int32_t n) {
    a->a_type = A_LONG;
    a->a_w.w_long = n;
}

void atom_setfloat(t_atom *a, float f) {
    a->a_type = A_FLOAT;
    a->a_w.w_float = f;
}

void atom_setsym(t_atom *a, t_symbol *s) {
    a->a_type = A_SYM;
    a->a_w.w_sym = s;
}

}  // extern "C"
