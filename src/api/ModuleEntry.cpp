// The Windows module's entry point. It reports success for every loader
// notification and does no work of its own: the word list is constructed and
// released by the module's static initialisation and teardown, which the C
// runtime runs around this function.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
