// What an external tells the adapter when Pd loads it: its class name, the
// plug-in's entry point, how Pd's numbers are typed for its A_GIMME methods,
// and its bundle information.  Included by the externals' setup sources.
#pragma once

#include <cstdint>
#include <span>

// Exported from an external: its CLASS_setup and nothing else.
#ifdef _WIN32
#define PDMAX_EXPORT extern "C" __declspec(dllexport)
#else
#define PDMAX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace pdmax {

// Pd has only floats.  A Max method registered with A_GIMME tells integers
// from floats, so each number of a Pd message is typed by its place: the
// first atom, or any later one.
enum class NumberAs : uint8_t {
    LongWhenIntegral,  // A_LONG when it is a whole number that fits 32 bits, else A_FLOAT
    Float              // always A_FLOAT
};

struct Typing {
    NumberAs first = NumberAs::LongWhenIntegral;
    NumberAs rest = NumberAs::LongWhenIntegral;
};

// The typing of one selector; selectors without a hint get Typing{}.
struct Hint {
    const char *selector;
    Typing typing;
};

struct External {
    const char *class_name;
    int (*entry)();  // the plug-in's main, renamed by names.h
    std::span<const Hint> hints;
    const char *bundle_info;  // "Key value" lines, or null
};

// Registers the external's class with Pd through the plug-in's entry point.
void load_external(const External &e);

}  // namespace pdmax
