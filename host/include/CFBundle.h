// The CoreFoundation bundle calls a plug-in uses to read its own version.
#pragma once

#include "ext_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef const void *CFTypeRef;
typedef const struct __CFString *CFStringRef;
typedef const struct __CFBundle *CFBundleRef;
typedef int64_t CFIndex;
typedef uint32_t CFStringEncoding;
typedef unsigned char Boolean;

enum { kCFStringEncodingASCII = 0x0600 };

// A constant string; lives as long as the process.
CFStringRef __CFStringMakeConstantString(const char *text);
#define CFSTR(text) __CFStringMakeConstantString("" text "")

extern const CFStringRef kCFBundleVersionKey;

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier);
CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);
Boolean CFStringGetCString(CFStringRef s, char *buffer, CFIndex size, CFStringEncoding encoding);
CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);

#ifdef __cplusplus
}
#endif
