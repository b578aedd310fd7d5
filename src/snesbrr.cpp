#include "snesbrr.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "SPCM.h"
#include "brr.h"
#include "wav.h"

namespace {

// How long a run may take before the user is asked whether to stop it, in ms. The
// slowest honest run, a whole bank of 44.1 kHz sound, takes well under a second.
constexpr DWORD kPatience = 30000;
// What is kept of the encoder's messages, in bytes: its one line, with room to spare.
constexpr size_t kMaxSaid = 4096;

// The parameter text of the next run: the Windows command line is limited, and the
// program folder's path comes in front of it.
char parameters[256];

struct RunResult {
    enum { NotStarted, Stopped, Ended } how = NotStarted;
    DWORD code = 0;   // exit code, when Ended
    std::string said; // its first line on stderr or stdout, when it printed one
};

// Moves whatever the run has written to its pipe into said, keeping at most kMaxSaid
// bytes, without waiting for more.
void Drain(HANDLE pipe, std::string &said)
{
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char chunk[512];
        DWORD read = 0;
        if (!ReadFile(pipe, chunk, sizeof chunk < available ? sizeof chunk : available, &read,
                      nullptr) ||
            read == 0)
            return;
        if (said.size() < kMaxSaid)
            said.append(chunk, read < kMaxSaid - said.size() ? read : kMaxSaid - said.size());
    }
}

// Waits for the run to end; after every kPatience ms the owner's user is asked whether to
// stop it. True when it ended by itself, false when it was stopped.
bool Await(HANDLE process, HANDLE pipe, std::string &said, HWND owner)
{
    DWORD since = GetTickCount();
    for (;;) {
        // Short waits, so that a chatty run never blocks on a full pipe.
        const DWORD waited = WaitForSingleObject(process, 50);
        Drain(pipe, said);
        if (waited != WAIT_TIMEOUT)
            return true;
        if (GetTickCount() - since < kPatience)
            continue;
        const int answer = FIOBox(owner, MB_YESNO | MB_ICONWARNING, "Tarvo Samples",
                                  "snesbrr.exe has been running for 30 seconds.\nStop it?");
        // A Yes stops the run even when it ended while the question was shown: the
        // user was promised that nothing of it is used.
        if (answer == IDYES) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            return false;
        }
        since = GetTickCount();
    }
}

// Runs snesbrr.exe from the program directory with the text in parameters, its stdout
// and stderr caught, until it ends or the user stops it. The encoder inherits the
// program directory as its current directory and finds the scratch files there. A run
// that cannot start is reported here.
RunResult RunEncoder(HWND owner)
{
    RunResult result;
    FIOSetCurDir();
    char exe[MAX_PATH];
    const DWORD length = GetFullPathNameA("snesbrr.exe", sizeof exe, exe, nullptr);
    std::string line = std::string("\"") + exe + "\" " + parameters;

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    PROCESS_INFORMATION process = {};
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    bool started = length > 0 && length < sizeof exe && CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    if (started) {
        // Only the writing end goes to the encoder.
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        startup.hStdOutput = startup.hStdError = writeEnd;
        // The encoder inherits the error mode: a crash ends it with its exception code
        // instead of opening the system's crash report, which nobody would see.
        const UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        started = CreateProcessA(exe, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                 nullptr, &startup, &process) != FALSE;
        SetErrorMode(mode);
    }
    const DWORD error = GetLastError();
    if (writeEnd)
        CloseHandle(writeEnd);
    if (!started) {
        if (readEnd)
            CloseHandle(readEnd);
        FIOErrorFor(owner, "snesbrr.exe could not be started.\n%s", FIOReason(error));
        return result;
    }
    CloseHandle(process.hThread);
    if (Await(process.hProcess, readEnd, result.said, owner)) {
        result.how = RunResult::Ended;
        if (!GetExitCodeProcess(process.hProcess, &result.code))
            result.code = static_cast<DWORD>(-1);
    } else {
        result.how = RunResult::Stopped;
    }
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    result.said = result.said.substr(0, result.said.find_first_of("\r\n"));
    return result;
}

// Puts the run's parameter text, whose first argument is the WAV file's path, in
// parameters; false (reported) when that path makes it too long.
__attribute__((format(printf, 3, 4))) bool Parameters(HWND owner, const char *path,
                                                      const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(parameters, sizeof parameters, format, args);
    va_end(args);
    if (length < static_cast<int>(sizeof parameters))
        return true;
    FIOErrorFor(owner,
                "The path of this WAV file is too long (%u characters).\n"
                "Move the file to a folder with a shorter path (at most 241 characters in all) "
                "and try again.",
                static_cast<unsigned>(strlen(path)));
    return false;
}

// Removes the scratch file that the next run writes: a run that writes nothing must not
// pass off an earlier run's file as its result. False (reported) when it stays.
bool RemoveScratch(const char *name, HWND owner)
{
    FIOSetCurDir();
    if (DeleteFileA(name) || GetLastError() == ERROR_FILE_NOT_FOUND)
        return true;
    FIOErrorFor(owner,
                "The old %s in the program folder cannot be replaced.\n"
                "Close any program that uses it and try again.",
                name);
    return false;
}

// Runs the encoder with the text in parameters to write the scratch file name. True when
// the run ended with exit code 0 and wrote the file; otherwise one box gives failure
// and what the encoder said, unless the user stopped the run.
bool RunChecked(const char *name, HWND owner, const char *failure)
{
    if (!RemoveScratch(name, owner))
        return false;
    const RunResult run = RunEncoder(owner);
    if (run.how != RunResult::Ended)
        return false;
    if (run.code == 0 && GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES)
        return true;
    if (!run.said.empty())
        FIOErrorFor(owner, "%s\nsnesbrr.exe said: %s", failure, run.said.c_str());
    else if (run.code == 0)
        FIOErrorFor(owner, "%s\nsnesbrr.exe wrote no %s.", failure, name);
    else
        FIOErrorFor(owner, "%s\nsnesbrr.exe failed with exit code %lX.", failure,
                    static_cast<unsigned long>(run.code));
    return false;
}

// RunChecked, then the scratch file's bytes, read once, in a new buffer (*length bytes).
// A file larger than limit is not read: null, its size in *length, no message. Null
// with *length = -1 after a reported failure or a run that the user stopped.
unsigned char *RunFor(const char *name, int limit, HWND owner, int *length, const char *failure)
{
    *length = -1;
    return RunChecked(name, owner, failure) ? FIOReadFile(name, limit, length, owner) : nullptr;
}

} // namespace

// The encoder's rate option for rate (Hz); none for 0, the encoder's own choice.
static const char *RateOption(int rate)
{
    static char option[24];
    snprintf(option, sizeof option, rate ? " --rate %d" : "", rate);
    return option;
}

unsigned char *BRREncode(const char *path, HWND owner, int *length, int rate)
{
    int size = -1;
    unsigned char *data = nullptr;
    if (Parameters(owner, path, "\"%s\" -e temp.brr%s", path, RateOption(rate)))
        data = RunFor("temp.brr", kSPCMMaxFile, owner, &size,
                      "The encoder could not encode this WAV file.\nNothing was inserted.");
    if (length)
        *length = size;
    return data;
}

unsigned char *BRREncodeLooped(const char *path, int loopStart, int loopEnd, HWND owner,
                               int *length, int rate)
{
    *length = -1;
    if (!Parameters(owner, path, "\"%s\" -e temp.brr --loop-start %d --loop-end %d%s", path,
                    loopStart, loopEnd, RateOption(rate)))
        return nullptr;
    char failure[200];
    snprintf(failure, sizeof failure,
             "The encoder could not make a loop from sample %d to sample %d of this WAV "
             "file.\nChoose another loop; nothing was inserted.",
             loopStart, loopEnd);
    return RunFor("temp.brr", kSPCMMaxFile, owner, length, failure);
}

// Writes the .brr file image (size bytes) to temp.brr and has the encoder decode it
// with options ("--blocks", "-p 1000") into temp.wav, whose bytes come back as RunFor
// gives them. A temp.wav larger than limit bytes is refused here; failure is the
// two-line message of a failed run, whose second line says what was not done.
static unsigned char *Decode(const unsigned char *file, int size, const char *options, int limit,
                             HWND owner, int *length, const char *failure)
{
    *length = -1;
    if (FIOSampleWrite(file, static_cast<uint16_t>(size)) != 0)
        return nullptr;
    snprintf(parameters, sizeof parameters, "temp.brr -d %s temp.wav", options);
    unsigned char *wav = RunFor("temp.wav", limit, owner, length, failure);
    if (!wav && *length > limit)
        FIOErrorFor(owner,
                    "The encoder wrote a temp.wav of %d bytes, far more than this sample decodes "
                    "to.\n%s",
                    *length, failure + strcspn(failure, "\n") + 1);
    if (!wav)
        return nullptr;
    // Nothing but a WAV file the codec reads may replace the user's file or reach the
    // sound system, which would play a broken one as silence without a word.
    snesbrr::MonoPcm pcm;
    const snesbrr::Status status = snesbrr::read_wav(wav, static_cast<size_t>(*length), pcm);
    if (status == snesbrr::Status::Ok)
        return wav;
    FIOErrorFor(owner, "%s\nsnesbrr.exe wrote a temp.wav that %s.", failure,
                snesbrr::describe(status));
    free(wav);
    *length = -1;
    return nullptr;
}

unsigned char *BRRDecodeBlocks(const unsigned char *file, int size, HWND owner, int *length)
{
    // A decoded block takes 32 bytes of WAV data; twice that and 4 KiB leave ample room
    // for the headers and the loop chunk.
    const int blocks = size / static_cast<int>(snesbrr::kBlockBytes);
    return Decode(file, size, "--blocks", blocks * 4 * snesbrr::kBlockSamples + 4096, owner, length,
                  "The encoder could not decode this sample to a WAV file.\n"
                  "Nothing was exported.");
}

// The sound that plays: the rendered WAV file's bytes, kept while the system plays from
// them, so that no command has to wait for it or keep off temp.wav.
static unsigned char *playing = nullptr;

void BRRStop()
{
    // The sound stops before its bytes go.
    PlaySoundA(nullptr, nullptr, 0);
    free(playing);
    playing = nullptr;
}

bool BRRSounding()
{
    return playing != nullptr;
}

void BRRPlay(int slot, uint16_t pitch)
{
    BRRStop();
    unsigned char *file = static_cast<unsigned char *>(malloc(kSPCMMaxFile));
    if (!file) {
        FIOError("There is not enough memory to play this sample.");
        return;
    }
    const int size = SPCMSampleFile(slot, file);
    char options[16];
    snprintf(options, sizeof options, "-p %x", static_cast<unsigned>(pitch));
    // A render holds at most 10 s of 16-bit samples at 32 kHz, 640,000 bytes, and its header.
    int length = 0;
    if (size > 0)
        playing = Decode(file, size, options, 0x100000, FIOOwner(), &length,
                         "The encoder could not decode this sample.\nNothing was played.");
    free(file);
    if (playing)
        PlaySoundA(reinterpret_cast<LPCSTR>(playing), nullptr,
                   SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
}
