// Strings of the executable's own string table, loaded at the time of use.
#pragma once

#include <windows.h>

#include "util/basic_string.h"

// The text of string id, or an empty string when the table has no such entry.
WString LoadResourceString(UINT id);
