// Restricts where the process loads DLLs from to the system directory, so that a DLL planted
// beside a downloaded package executable (or in the current directory) is never loaded into the
// elevated process. Runs before anything else in the process.
#pragma once

void RestrictDllSearchPath();
