// The environment the started command inherits. The stub runs elevated but with the user's own
// environment, and two variables there decide what the interpreter runs: COMSPEC (started for
// each side of a pipe in run.bat) and NoDefaultCurrentDirectoryInExePath (makes run.bat, and
// every bare name it calls, come from PATH instead of the working directory).
#pragma once

// Removes NoDefaultCurrentDirectoryInExePath and sets COMSPEC to comspec, in this process's
// environment, which the shell hands on to the command. False when either did not take.
bool PrepareChildEnvironment(const wchar_t* comspec);
