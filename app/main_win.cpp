// hivemend.exe: a GUI program; the command line arrives split into arguments.
#include <windows.h>

#include <cstdlib>

#include "app/Startup_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return hivemend::RunHivemend(__argc, __wargv); }
