// tessel~ as a Pd external.  Its list message tells the partial number (an
// integer) from the frequency and amplitude (floats); a Pd list has only
// floats, so the first number counts as an integer when it is whole and the
// others always as floats: "3 440 1" sets partial 3 to amplitude 1.
#include "external.hpp"

int pdmax_main();  // tessel~'s main, renamed by names.h

PDMAX_EXPORT void tessel_tilde_setup(void) {
    static const pdmax::Hint hints[] = {
        {"list", {pdmax::NumberAs::LongWhenIntegral, pdmax::NumberAs::Float}},
    };
    pdmax::load_external({"tessel~", pdmax_main, hints, nullptr});
}
