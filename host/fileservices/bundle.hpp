// Plug-in bundles' version information and the few CoreFoundation objects a
// plug-in uses to read it.
//
// A build writes CLASS.info beside CLASS.so, one "Key value" pair per line
// (CFBundleIdentifier, CFBundleVersion, …); the host registers it when it
// loads the plug-in, and CFBundleGetBundleWithIdentifier finds it by its
// identifier.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CFBundle.h"

namespace fileservices {

// The pairs of an info file: lines of "Key value", the key up to the first
// blank, the value the rest with surrounding blanks dropped.  Blank lines
// and lines starting with '#' are skipped.  Nothing when a line has no
// value or the identifier is missing.
std::optional<std::map<std::string, std::string>> parse_bundle_info(std::string_view text);

// A constant string: interned, never freed, unaffected by retain/release.
CFStringRef constant_string(const char *text);
std::string_view string_text(CFStringRef s);
// Copies the text and a NUL into buffer: false when the encoding is
// neither ASCII nor UTF-8, when an ASCII copy meets a byte above 127, or
// when text and NUL do not fit; the buffer is then left as it was.
bool string_get_cstring(CFStringRef s, char *buffer, CFIndex size, CFStringEncoding encoding);

CFTypeRef retain(CFTypeRef cf);
// False when the object was not retained (an over-release); the object stays
// alive while its owner holds it all the same.
bool release(CFTypeRef cf);
// The reference count of an object, for tests; constants report 0.
int retain_count(CFTypeRef cf);

// The bundles a host knows, by identifier.  Bundles and their values are
// owned by the registry and live as long as it.
class BundleRegistry {
public:
    BundleRegistry();
    ~BundleRegistry();
    BundleRegistry(const BundleRegistry &) = delete;
    BundleRegistry &operator=(const BundleRegistry &) = delete;

    // Registers the pairs of an info file; a later registration of the same
    // identifier replaces the earlier one's values.  False when the file
    // cannot be read or parsed.
    bool add_info_file(const std::string &path);
    bool add(const std::map<std::string, std::string> &values);

    CFBundleRef find(CFStringRef identifier) const;
    // A value of the bundle's info dictionary, or null.
    CFTypeRef value(CFBundleRef bundle, CFStringRef key) const;

private:
    std::vector<std::unique_ptr<__CFBundle>> bundles_;
};

}  // namespace fileservices
