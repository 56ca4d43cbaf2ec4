// A DLL that only exists beside the test programs, never in the system directory: loading it by
// bare name succeeds only while the application directory is searched.
#include <windows.h>

extern "C" __declspec(dllexport) int PlantedProbeAnswer() { return 42; }
