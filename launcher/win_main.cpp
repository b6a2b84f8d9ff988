#include <windows.h>

#include "launcher/main_sequence.h"

// The entry point's arguments are not used: the command line is read again
// when the game's own command line is built.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return static_cast<int>(qvn::RunLauncher()); }
