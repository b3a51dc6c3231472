// Atoms, symbols and text as every host makes them; compiled into each host
// with its own host_api.hpp, so that inside a Pd external these are the
// external's functions.
#include <cstdio>
#include <cstring>
#include <string>

#include "host_api.hpp"

#include "atoms.hpp"

namespace hostcommon {

t_symbol *intern(SymbolTable &table, const char *s) {
    std::string key = s ? s : "";
    auto it = table.find(key);
    if (it != table.end()) return it->second;
    auto *sym = new t_symbol;
    sym->s_name = new char[key.size() + 1];
    std::memcpy(sym->s_name, key.c_str(), key.size() + 1);
    sym->s_thing = nullptr;
    table.emplace(std::move(key), sym);
    return sym;
}

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
