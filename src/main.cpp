// Start-up. See main.h.
#include "main.h"

#include <shlwapi.h>

#include "FileIO.h"
#include "dialog.h"
#include "resource.h"

int StartUp(HINSTANCE instance)
{
    // The program directory holds the encoder and its scratch files. A path that does
    // not fit is cut short (and, on old systems, left unterminated): it names no folder.
    const DWORD length = GetModuleFileNameA(nullptr, out, sizeof out);
    out[sizeof out - 1] = '\0';
    if (length == 0 || length >= sizeof out) {
        FIOErrorFor(nullptr,
                    "The path of the program's folder is too long (at most 255 characters).\n"
                    "Move Tarvo Samples and snesbrr.exe to a folder with a shorter path.");
        return 0;
    }
    PathRemoveFileSpecA(out);
    FIOCfgCurDir(out);
    FIOSetCurDir();
    // Only existence counts, so an entry of that name that is a directory passes too.
    if (GetFileAttributesA("snesbrr.exe") == INVALID_FILE_ATTRIBUTES) {
        FIOErrorFor(nullptr, "snesbrr.exe is inaccessable");
        return 0;
    }
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, dlgProc, 0);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return StartUp(instance);
}
