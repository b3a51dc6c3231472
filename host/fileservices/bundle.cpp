#include "bundle.hpp"

#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

// The objects behind the opaque CoreFoundation types.
struct __CFObject {
    enum Kind { String, Bundle } kind;
    bool constant;
    int refs;  // the owner's reference counts as one
};

struct __CFString : __CFObject {
    std::string text;
};

struct __CFBundle : __CFObject {
    std::map<std::string, std::unique_ptr<__CFString>> values;
};

namespace fileservices {

namespace {

std::string_view trim(std::string_view s) {
    const auto blank = " \t\r";
    const auto b = s.find_first_not_of(blank);
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(blank);
    return s.substr(b, e - b + 1);
}

__CFObject *object(CFTypeRef cf) { return const_cast<__CFObject *>(static_cast<const __CFObject *>(cf)); }

}  // namespace

std::optional<std::map<std::string, std::string>> parse_bundle_info(std::string_view text) {
    std::map<std::string, std::string> values;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string_view line = trim(text.substr(0, nl));
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (line.empty() || line.front() == '#') continue;
        const auto gap = line.find_first_of(" \t");
        if (gap == std::string_view::npos) return std::nullopt;
        std::string_view value = trim(line.substr(gap));
        if (value.empty()) return std::nullopt;
        values[std::string(line.substr(0, gap))] = std::string(value);
    }
    if (!values.count("CFBundleIdentifier")) return std::nullopt;
    return values;
}

CFStringRef constant_string(const char *text) {
    // Interned for the life of the process, as the plug-ins keep them in
    // static storage; the table is never destroyed.
    static auto &table = *new std::unordered_map<std::string, __CFString *>;
    std::string key = text ? text : "";
    auto it = table.find(key);
    if (it != table.end()) return it->second;
    auto *s = new __CFString{{__CFObject::String, true, 0}, key};
    table.emplace(std::move(key), s);
    return s;
}

std::string_view string_text(CFStringRef s) {
    if (!s || s->kind != __CFObject::String) return {};
    return s->text;
}

bool string_get_cstring(CFStringRef s, char *buffer, CFIndex size, CFStringEncoding encoding) {
    constexpr CFStringEncoding kUTF8 = 0x08000100;
    if (!s || s->kind != __CFObject::String || !buffer || size <= 0) return false;
    if (encoding != kCFStringEncodingASCII && encoding != kUTF8) return false;
    const std::string &t = s->text;
    if (static_cast<uint64_t>(t.size()) >= static_cast<uint64_t>(size)) return false;
    if (encoding == kCFStringEncodingASCII) {
        for (unsigned char ch : t)
            if (ch > 127) return false;
    }
    std::memcpy(buffer, t.c_str(), t.size() + 1);
    return true;
}

CFTypeRef retain(CFTypeRef cf) {
    if (cf && !object(cf)->constant) ++object(cf)->refs;
    return cf;
}

bool release(CFTypeRef cf) {
    if (!cf || object(cf)->constant) return true;
    if (object(cf)->refs <= 1) return false;
    --object(cf)->refs;
    return true;
}

int retain_count(CFTypeRef cf) { return cf && !object(cf)->constant ? object(cf)->refs : 0; }

BundleRegistry::BundleRegistry() = default;
BundleRegistry::~BundleRegistry() = default;

bool BundleRegistry::add_info_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    auto values = parse_bundle_info(text.str());
    return values && add(*values);
}

bool BundleRegistry::add(const std::map<std::string, std::string> &values) {
    auto id = values.find("CFBundleIdentifier");
    if (id == values.end()) return false;
    auto bundle = std::make_unique<__CFBundle>();
    bundle->kind = __CFObject::Bundle;
    bundle->constant = false;
    bundle->refs = 1;
    for (const auto &[k, v] : values)
        bundle->values[k] = std::make_unique<__CFString>(__CFString{{__CFObject::String, false, 1}, v});
    // A bundle handed out earlier stays valid: the replacement goes in front
    // and the old one stays owned until the registry goes.
    bundles_.insert(bundles_.begin(), std::move(bundle));
    return true;
}

CFBundleRef BundleRegistry::find(CFStringRef identifier) const {
    const std::string_view want = string_text(identifier);
    if (want.empty()) return nullptr;
    for (const auto &b : bundles_) {
        auto it = b->values.find("CFBundleIdentifier");
        if (it != b->values.end() && it->second->text == want) return b.get();
    }
    return nullptr;
}

CFTypeRef BundleRegistry::value(CFBundleRef bundle, CFStringRef key) const {
    if (!bundle || bundle->kind != __CFObject::Bundle) return nullptr;
    auto it = bundle->values.find(std::string(string_text(key)));
    return it == bundle->values.end() ? nullptr : it->second.get();
}

}  // namespace fileservices
