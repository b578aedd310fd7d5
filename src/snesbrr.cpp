#include "snesbrr.h"

#include <windows.h>
#include <shellapi.h>
#include <mmsystem.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "SPCM.h"
#include "fileio.h" // the codec's file reading and WAV reader
#include "wav.h"

char out[256];

static_assert(sizeof(void *) != 4 || sizeof(SHELLEXECUTEINFOA) == 60,
              "shell launch structure size on i686");

// Runs snesbrr.exe from the program directory with the parameter text in out and waits,
// without a time limit, until it has ended. The encoder inherits the program directory
// as its current directory and finds the scratch files there. Returns the encoder's
// exit code, or -1 when it did not start.
static long RunEncoder()
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
    if (!run.hProcess)
        return -1;
    WaitForSingleObject(run.hProcess, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(run.hProcess, &code))
        code = static_cast<DWORD>(-1);
    CloseHandle(run.hProcess);
    return static_cast<long>(code);
}

static void ShowError(HWND owner, const char *text)
{
    MessageBoxA(owner, text, "Error", MB_ICONERROR);
}

// Puts the run's parameter text, whose first argument is the WAV file's path, in out;
// false (reported) when that path makes it too long.
__attribute__((format(printf, 3, 4))) static bool Parameters(HWND owner, const char *path,
                                                             const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(out, sizeof out, format, args);
    va_end(args);
    if (length < static_cast<int>(sizeof out))
        return true;
    snprintf(out, sizeof out,
             "The path of this WAV file is too long (%u characters).\n"
             "Move the file to a folder with a shorter path (at most 241 characters in all) "
             "and try again.",
             static_cast<unsigned>(strlen(path)));
    ShowError(owner, out);
    return false;
}

// Removes the scratch file that the next run writes: a run that writes nothing must not
// pass off an earlier run's file as its result. False (reported) when it stays.
static bool RemoveScratch(const char *name, HWND owner)
{
    FIOSetCurDir();
    if (DeleteFileA(name) || GetLastError() == ERROR_FILE_NOT_FOUND)
        return true;
    char text[160];
    snprintf(text, sizeof text,
             "The old %s in the program folder cannot be replaced.\n"
             "Close any program that uses it and try again.",
             name);
    ShowError(owner, text);
    return false;
}

// Runs the encoder with the parameter text in out to write the scratch file name, and
// returns that file's bytes. failure is the message when the run fails or writes
// nothing. A file larger than limit is not read: null, its size in *length, no message.
static unsigned char *RunFor(const char *name, int limit, HWND owner, int *length,
                             const char *failure)
{
    *length = -1;
    if (!RemoveScratch(name, owner))
        return nullptr;
    const long code = RunEncoder();
    if (code != 0 || GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES) {
        ShowError(owner, failure);
        return nullptr;
    }
    return FIOReadFile(name, limit, length, owner);
}

static void TooLarge(HWND owner, int size)
{
    const int room = SPCMGetFree() & 0xFFFF;
    snprintf(out, sizeof out, "Input sample too large.\nSize: %X bytes\nFree: %X bytes",
             static_cast<unsigned>(size), static_cast<unsigned>(room));
    ShowError(owner, out);
}

unsigned char *BRREncode(const char *path, HWND owner, int *length)
{
    if (!Parameters(owner, path, "\"%s\" -e temp.brr", path) || !RemoveScratch("temp.brr", owner))
        return nullptr;
    RunEncoder();

    const int size = FIOGetSize("temp.brr");
    if ((SPCMGetFree() & 0xFFFF) < size) {
        TooLarge(owner, size);
        return nullptr;
    }
    return FIOSampleRead(length);
}

bool BRRWavLoop(const char *path, HWND owner, int *frames, int *loopStart, int *loopEnd)
{
    snesbrr::Status status = snesbrr::Status::ReadFailed;
    snesbrr::MonoPcm pcm;
    try {
        std::vector<std::uint8_t> bytes;
        status = snesbrr::read_file(path, bytes);
        if (status == snesbrr::Status::Ok)
            status = snesbrr::read_wav(bytes.data(), bytes.size(), pcm);
    } catch (const std::bad_alloc &) {
        ShowError(owner, "There is not enough memory to read this WAV file.");
        return false;
    }
    if (status != snesbrr::Status::Ok) {
        snprintf(out, sizeof out, "This WAV file cannot be used: %s.\nNothing was inserted.",
                 snesbrr::describe(status));
        ShowError(owner, out);
        return false;
    }
    // The reader keeps at most one sample per byte of a file of at most 1 GiB.
    const std::size_t count = pcm.samples.size();
    *frames = static_cast<int>(count);
    const bool inside = pcm.has_loop && pcm.loop_start < pcm.loop_end && pcm.loop_end <= count;
    *loopStart = inside ? static_cast<int>(pcm.loop_start) : -1;
    *loopEnd = inside ? static_cast<int>(pcm.loop_end) : 0;
    return true;
}

unsigned char *BRREncodeLooped(const char *path, int loopStart, int loopEnd, HWND owner,
                               int *length)
{
    if (!Parameters(owner, path, "\"%s\" -e temp.brr --loop-start %d --loop-end %d", path,
                    loopStart, loopEnd))
        return nullptr;
    char failure[200];
    snprintf(failure, sizeof failure,
             "The encoder could not make a loop from sample %d to sample %d of this WAV "
             "file.\nChoose another loop; nothing was inserted.",
             loopStart, loopEnd);
    unsigned char *file = RunFor("temp.brr", kSPCMMaxFile, owner, length, failure);
    if (!file && *length > kSPCMMaxFile)
        TooLarge(owner, *length - 2); // the loop header takes no room in the bank
    return file;
}

unsigned char *BRRDecodeBlocks(const unsigned char *file, int size, HWND owner, int *length)
{
    // A decoded block takes 32 bytes of WAV data; twice that and 4 KiB leave ample room
    // for the headers and the loop chunk.
    const int limit = size / 9 * 64 + 4096;
    if (FIOSampleWrite(file, static_cast<uint16_t>(size)) != 0)
        return nullptr;
    snprintf(out, sizeof out, "temp.brr -d --blocks temp.wav");
    unsigned char *wav = RunFor("temp.wav", limit, owner, length,
                                "The encoder could not decode this sample to a WAV file.\n"
                                "Nothing was exported.");
    if (!wav && *length > limit) {
        snprintf(out, sizeof out,
                 "The encoder wrote a temp.wav of %d bytes, far more than this sample "
                 "decodes to.\nNothing was exported.",
                 *length);
        ShowError(owner, out);
    }
    return wav;
}

void BRRPlay(int slot, uint16_t pitch)
{
    unsigned char *file = static_cast<unsigned char *>(malloc(kSPCMMaxFile));
    if (!file) {
        FIOError("There is not enough memory to play this sample.");
        return;
    }
    const int size = SPCMSampleFile(slot, file);
    if (size == 0) {
        free(file);
        return;
    }
    // A failed write has been reported; the decoder then plays whatever temp.brr holds.
    FIOSampleWrite(file, static_cast<uint16_t>(size));
    free(file);
    snprintf(out, sizeof out, "temp.brr -d -p %x temp.wav", static_cast<unsigned>(pitch));
    RunEncoder();
    PlaySoundA("temp.wav", nullptr, SND_FILENAME);
}
