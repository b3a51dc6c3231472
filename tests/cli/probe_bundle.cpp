// The probe class as a loadable bundle, so the maxhost executable itself can
// be run against it through --plugins.
#include "probe_classes.hpp"

int main() { return probe_setup(); }
