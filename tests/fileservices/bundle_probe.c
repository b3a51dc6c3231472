/* A plug-in that reads its own version the way a real one does, to test
   the version information the build stamps beside it. */
#include <stdio.h>

#include "CFBundle.h"
#include "ext.h"

static t_messlist *bundle_probe_class;

static void *bundle_probe_new(void) { return newobject(bundle_probe_class); }

int main(void) {
    setup(&bundle_probe_class, (method)bundle_probe_new, 0, (int32_t)sizeof(t_object), 0, 0);

    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(CFSTR("org.maxhost.test.bundleprobe"));
    char version[256] = "";
    if (bundle) {
        CFRetain(bundle);
        CFStringRef v = (CFStringRef)CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleVersionKey);
        if (v) {
            CFRetain(v);
            if (!CFStringGetCString(v, version, 256, kCFStringEncodingASCII))
                snprintf(version, sizeof version, "?");
            CFRelease(v);
        }
        CFRelease(bundle);
    }
    post("bundle_probe %s", bundle ? version : "(unknown version!)");
    post("elsewhere %s",
         CFBundleGetBundleWithIdentifier(CFSTR("org.maxhost.test.nowhere")) ? "found" : "null");
    return 0;
}
