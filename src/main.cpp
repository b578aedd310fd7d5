// Start-up. See main.h.
#include "main.h"

#include <shlwapi.h>

#include "FileIO.h"
#include "dialog.h"
#include "resource.h"
#include "snesbrr.h"

int StartUp(HINSTANCE instance) {
    // The program directory holds the encoder and its scratch files.
    GetModuleFileNameA(nullptr, out, sizeof out);
    PathRemoveFileSpecA(out);
    FIOCfgCurDir(out);
    FIOSetCurDir();
    // Only existence counts, so an entry of that name that is a directory passes too.
    if (GetFileAttributesA("snesbrr.exe") == INVALID_FILE_ATTRIBUTES) {
        MessageBoxA(nullptr, "snesbrr.exe is inaccessable", "Error", MB_ICONERROR);
        return 0;
    }
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, dlgProc, 0);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return StartUp(instance);
}
