// brindle~: registration, creation, help texts, the two settings, bang and
// the choice of reader.  The release of what an open loads is the readers'
// (brindle_readers.cpp).
#include "brindle.h"

#include <cstring>

#include "CFBundle.h"

t_messlist *brindle_class = nullptr;

namespace {

const char *const CREDIT = "sound-file markers (AIFF, AIFC, WAVE, Sound Designer II)";

// The version comes from the bundle's own information, so the banner can
// never disagree with what was installed.
void post_banner() {
    CFBundleRef found = CFBundleGetBundleWithIdentifier(CFSTR("org.tessel-brindle.brindle"));
    if (!found) {
        post("brindle~ (unknown version!) - %s", CREDIT);
        return;
    }
    auto bundle = static_cast<CFBundleRef>(CFRetain(found));
    CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleVersionKey);
    if (!value) {
        post("brindle~ (unknown version!) - %s", CREDIT);
        CFRelease(bundle);
        return;
    }
    auto version = static_cast<CFStringRef>(CFRetain(value));
    char text[256];
    if (CFStringGetCString(version, text, sizeof text, kCFStringEncodingASCII)) {
        post("brindle~ %s - %s", text, CREDIT);
    } else {
        post("brindle~ (unknown version!) - %s", CREDIT);
    }
    CFRelease(version);
    CFRelease(bundle);
}

}  // namespace

__attribute__((visibility("default"))) int main() {
    setup(&brindle_class, brindle_method(brindle_new), brindle_method(brindle_free),
          static_cast<int32_t>(sizeof(t_brindle)), nullptr, A_DEFSYM, 0);
    addmess(brindle_method(brindle_open), "open", A_DEFSYM, 0);
    addbang(brindle_method(brindle_bang));
    addmess(brindle_method(brindle_peakMode), "peak", A_LONG, 0);
    addmess(brindle_method(brindle_outputMode), "mode", A_LONG, 0);
    addmess(brindle_method(brindle_assist), "assist", A_CANT, 0);
    post_banner();
    return 0;
}

void *brindle_new(t_symbol *s) {
    auto *x = static_cast<t_brindle *>(newobject(brindle_class));
    if (!x) return nullptr;
    // The count outlet is made first, so it stands on the right.
    x->countOutlet = intout(x);
    x->listOutlet = listout(x);
    x->info.markerChunk = nullptr;
    x->info.markerChunkSize = 0;
    x->fileType = BRINDLE_NO_FILE;
    x->peakMode = 0;
    x->outputMode = 0;
    x->cueChunk = t_dynMemory{nullptr, 0};
    x->listChunk = t_dynMemory{nullptr, 0};
    x->smplChunk = t_dynMemory{nullptr, 0};
    x->rateResource = nullptr;
    x->markerResource = nullptr;
    x->fileHandle = nullptr;
    x->sampleRate = 0;
    x->waveRuns = 0;
    x->waveRefused = 0;
    x->fileName[0] = '\0';
    // A file named in the box loads silently; the patch asks for its
    // markers with bang.
    if (s && s->s_name[0] != '\0') {
        x->outputOnOpen = 0;
        defer_low(x, brindle_method(brindle_opendefered), s, 0, nullptr);
    } else {
        x->outputOnOpen = 1;
    }
    return x;
}

void brindle_assist(t_brindle *, void *, int32_t kind, int32_t index, char *dst) {
    const char *text = nullptr;
    if (kind == ASSIST_INLET && index == 0) text = "open Opens File";
    if (kind == ASSIST_OUTLET && index == 0) text = "name, time pair";
    if (kind == ASSIST_OUTLET && index == 1) text = "Number of Cues";
    if (text) std::strcpy(dst, text);
}

void brindle_peakMode(t_brindle *x, int32_t v) {
    if (static_cast<uint32_t>(v) <= 1) {
        x->peakMode = v;
    } else {
        error("brindle: peak accepts only 0 or 1");
    }
}

void brindle_outputMode(t_brindle *x, int32_t v) {
    if (static_cast<uint32_t>(v) <= 1) {
        x->outputMode = v;
    } else {
        error("brindle: outputMode accepts only 0 or 1");
    }
}

// After the first bang every open sends the markers as soon as it loads.
void brindle_bang(t_brindle *x) {
    brindle_search(x);
    x->outputOnOpen = 1;
}

void brindle_search(t_brindle *x) {
    switch (x->fileType) {
    case BRINDLE_AIFF:
    case BRINDLE_AIFC: brindle_aiff(x); break;
    case BRINDLE_SD2: brindle_SDII(x); break;
    case BRINDLE_WAVE: brindle_wave(x); break;
    case BRINDLE_NO_FILE: break;
    default: error("Bad file type"); break;
    }
}
