// A DLL that the test game loads to fault inside a module of its own, so the
// crash report can be checked to name a module other than the executable.
#include <windows.h>

#include <cstdint>

extern "C" __declspec(dllexport) void QvnFaultAt(std::uintptr_t address) {
  // The address comes from the caller so the compiler cannot see the fault.
  *reinterpret_cast<volatile int*>(address) = 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
