#include "snesbrr.h"

#include <windows.h>
#include <shellapi.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SPCM.h"

char out[256];

static_assert(sizeof(void *) != 4 || sizeof(SHELLEXECUTEINFOA) == 60,
              "shell launch structure size on i686");

// Runs snesbrr.exe from the program directory with the parameter text in out and waits,
// without a time limit, until it has ended. The encoder inherits the program directory
// as its current directory and finds the scratch files there.
static void RunEncoder()
{
    FIOSetCurDir();
    SHELLEXECUTEINFOA run = {};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOCLOSEPROCESS; // the shell's own box tells of a failed start
    run.hwnd = FIOOwner();               // and is owned by the window like every other
    run.lpVerb = "open";
    run.lpFile = "snesbrr.exe";
    run.lpParameters = out;
    run.nShow = SW_HIDE;
    ShellExecuteExA(&run);
    if (run.hProcess) {
        WaitForSingleObject(run.hProcess, INFINITE);
        CloseHandle(run.hProcess);
    }
}

unsigned char *BRREncode(const char *path, HWND owner, int *length)
{
    if (snprintf(out, sizeof out, "\"%s\" -e temp.brr", path) >= static_cast<int>(sizeof out)) {
        snprintf(out, sizeof out,
                 "The path of this WAV file is too long (%u characters).\n"
                 "Move the file to a folder with a shorter path (at most 241 characters in all) "
                 "and try again.",
                 static_cast<unsigned>(strlen(path)));
        MessageBoxA(owner, out, "Error", MB_ICONERROR);
        return nullptr;
    }
    // A run that writes nothing must not pass off an earlier run's file as its result.
    FIOSetCurDir();
    if (!DeleteFileA("temp.brr") && GetLastError() != ERROR_FILE_NOT_FOUND) {
        MessageBoxA(owner,
                    "The old temp.brr in the program folder cannot be replaced.\n"
                    "Close any program that uses it and try again.",
                    "Error", MB_ICONERROR);
        return nullptr;
    }
    RunEncoder();

    const int size = FIOGetSize("temp.brr");
    const int room = SPCMGetFree() & 0xFFFF;
    if (room < size) {
        snprintf(out, sizeof out, "Input sample too large.\nSize: %X bytes\nFree: %X bytes",
                 static_cast<unsigned>(size), static_cast<unsigned>(room));
        MessageBoxA(owner, out, "Error", MB_ICONERROR);
        return nullptr;
    }
    return FIOSampleRead(length);
}

void BRRPlay(int slot, uint16_t pitch)
{
    const int start = SPCMFetchStart(slot);
    const int size = SPCMGetSampleSize(slot);
    if (start == 0)
        return;
    unsigned char *sample = static_cast<unsigned char *>(malloc(static_cast<size_t>(size) + 1));
    if (!sample) {
        FIOError("There is not enough memory to play this sample.");
        return;
    }
    memcpy(sample, SPCMGetSPCPtr() + (start - 0x8000), static_cast<size_t>(size));
    // A failed write has been reported; the decoder then plays whatever temp.brr holds.
    FIOSampleWrite(sample, static_cast<uint16_t>(size));
    snprintf(out, sizeof out, "temp.brr -d -p %x temp.wav", static_cast<unsigned>(pitch));
    RunEncoder();
    PlaySoundA("temp.wav", nullptr, SND_FILENAME);
    free(sample);
}
