// What an external tells the adapter when Max loads it: its class name, the
// plug-in's entry point and its bundle information.  Included by the
// externals' entry sources, which see neither the SDK's names nor the
// plug-ins'.
#pragma once

namespace maxad {

struct External {
    const char *class_name;
    int (*entry)();           // the plug-in's main, renamed by names.h
    const char *bundle_info;  // "Key value" lines, or null
};

// Registers the external's class with Max through the plug-in's entry
// point; the class is announced to Max once the entry point returns.
void load_external(const External &e);

}  // namespace maxad
