// Symbols and console text, made alike by every host (atoms.cpp, which also
// holds the atom and string calls of the API).
//
// Included after the host's view of the Max API (host_api.hpp).
#pragma once

#include <cstdarg>
#include <string>
#include <unordered_map>

#include "text.hpp"

namespace hostcommon {

// A host's symbol table.  Symbols are never freed: plug-ins keep them in
// static storage.
using SymbolTable = std::unordered_map<std::string, t_symbol *>;

// The symbol of s (null as the empty text), made the first time.
t_symbol *intern(SymbolTable &table, const char *s);

}  // namespace hostcommon
