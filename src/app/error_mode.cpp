#include "app/error_mode.h"

void AddQuietErrorMode() {
    // SetErrorMode(0) reads the mode back on every version (GetErrorMode came only with Vista);
    // nothing else runs on this thread in between.
    SetErrorMode(WithQuietErrorMode(SetErrorMode(0)));
}
