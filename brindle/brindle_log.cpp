// The parse log's one formatter.
#include <cstdarg>
#include <cstdio>

#include "brindle_core.h"

void brindle_note(const brindle_log *log, const char *format, ...) {
    if (!log || !log->line) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    log->line(log->ctx, text);
}
