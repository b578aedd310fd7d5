// Start-up: WinMain records the program directory and makes it current, checks that
// the companion encoder snesbrr.exe stands there and runs the main window modally. The
// process exit code is always 0.
#pragma once
#include <windows.h>

// Everything WinMain does; instance holds the main window's dialog template. Returns 0.
int StartUp(HINSTANCE instance);
