// Stands in for the engine's cache knob until the engine lands; the
// engine's own definition takes precedence.
#include "platform/posix_layer.h"
__attribute__((weak)) void DropProfileCacheForTesting() {}
