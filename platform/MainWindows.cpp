// Before the system's header, whose macros rename some profile routines.
#include "Registration.h"

#include <windows.h>

// A program of the graphical subsystem that never opens a window: nothing
// shows when it is started from the file manager. Its arguments are ignored.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunRegistration(); }
