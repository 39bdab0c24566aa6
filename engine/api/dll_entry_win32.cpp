// SPDX-License-Identifier: Apache-2.0
// Entry point of the Windows library. The engine keeps no global state, so
// loading and unloading have nothing to set up or tear down.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
