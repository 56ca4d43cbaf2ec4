// The launch sequence that runs once the single-instance guard has let the run proceed: the
// operating-system line, the extraction, the payload command, the wait and the clean-up.
#pragma once

void RunLaunchSequence();
