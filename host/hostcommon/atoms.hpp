// Symbols and console text, made alike by every host (atoms.cpp, which also
// holds the atom and string calls of the API).
//
// Included after the host's view of the Max API (host_api.hpp).
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text.hpp"

namespace hostcommon {

// A host's symbol table.  Symbols are never freed while the table lives:
// plug-ins keep them in static storage.  Making symbols takes one thread
// at a time (the host's own lock, where more than one thread can make
// them); looking one up takes no lock and allocates nothing, from any
// thread at any time, so that a message can reach a plug-in on a thread
// that must not wait for the main one.
//
// An open-addressed table of symbol pointers, at most half full.  A slot
// once filled is never changed, and a larger table, when one is needed, is
// filled before it is published; the tables it replaces stay (they hold
// less than it does) for readers still probing them, which at worst miss
// a symbol made a moment ago.
class SymbolTable {
public:
    SymbolTable();
    ~SymbolTable();
    SymbolTable(const SymbolTable &) = delete;
    SymbolTable &operator=(const SymbolTable &) = delete;

    // The symbol of name, or null when none has been made.
    t_symbol *find(std::string_view name) const;
    // The symbol of name, made the first time.
    t_symbol *intern(std::string_view name);

private:
    struct Slots {
        std::size_t mask;  // the slot count less one, a power of two less one
        std::unique_ptr<std::atomic<t_symbol *>[]> slots;
    };
    static void place(const Slots &t, t_symbol *sym);

    std::atomic<const Slots *> current_{nullptr};
    std::vector<std::unique_ptr<Slots>> tables_;  // every table made, the current one last
    std::vector<std::unique_ptr<t_symbol>> symbols_;
    std::vector<std::unique_ptr<char[]>> names_;
};

// The symbol of s (null as the empty text), made the first time.
t_symbol *intern(SymbolTable &table, const char *s);

}  // namespace hostcommon
