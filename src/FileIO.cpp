#include "FileIO.h"

#include <windows.h>
#include <commdlg.h>

#include <climits>
#include <cstddef>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "diskio.h" // the codec's all-or-nothing write and the system's wording

unsigned char *ROMMem = nullptr;
int ROMSize = 0;

static HANDLE hFile = INVALID_HANDLE_VALUE;
static HWND boxOwner = nullptr; // see FIOSetOwner
static int lastOpenCancelled = 0;
static char appdir[MAX_PATH] = "";

// The choosers hand the structure size of the oldest common-dialog version, which every
// Windows and Wine accepts: the structure up to its template name, 76 bytes on 32-bit.
constexpr DWORD kChooserSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
static_assert(sizeof(void *) != 4 || kChooserSize == 76, "open-file structure size on i686");

// Shows the open-file chooser, or the Save As chooser when filterIndex is given (it
// receives the chosen filter, 1 for the first), with name (MAX_PATH characters) as its
// name field. The current directory is not preserved: the encoder runs make the program
// folder current.
static bool Choose(HWND owner, const char *filter, char *name, DWORD *filterIndex = nullptr)
{
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = kChooserSize;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = name;
    ofn.nMaxFile = MAX_PATH;
    if (!filterIndex) {
        ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
        return GetOpenFileNameA(&ofn) != FALSE;
    }
    ofn.nFilterIndex = 1;
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN;
    const bool chosen = GetSaveFileNameA(&ofn) != FALSE;
    *filterIndex = ofn.nFilterIndex;
    return chosen;
}

// The one place where a box is shown; see FIOBox.
static int ShowBox(HWND owner, unsigned type, const char *caption, const char *format,
                   va_list args)
{
    char text[1024];
    vsnprintf(text, sizeof text, format, args);
    return MessageBoxA(owner, text, caption, type);
}

int FIOBox(HWND owner, unsigned type, const char *caption, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const int answer = ShowBox(owner, type, caption, format, args);
    va_end(args);
    return answer;
}

void FIOErrorFor(HWND owner, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    ShowBox(owner, MB_ICONERROR, "Error", format, args);
    va_end(args);
}

void FIOError(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    ShowBox(boxOwner, MB_ICONERROR, "Error", format, args);
    va_end(args);
}

bool FIOAsk(const char *caption, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const int answer = ShowBox(boxOwner, MB_YESNO | MB_ICONQUESTION, caption, format, args);
    va_end(args);
    return answer == IDYES;
}

void FIOSetOwner(HWND window)
{
    boxOwner = window;
}

HWND FIOOwner()
{
    return boxOwner;
}

const char *FIOReason(unsigned long error)
{
    // The codec's wording, which the encoder's own messages also use, as a sentence.
    static std::string text;
    text = snesbrr::system_reason(static_cast<int>(error)) + ".";
    return text.c_str();
}

namespace {

// Makes the file at path hold exactly size bytes, all or nothing, through the codec's
// writer: path holds either its old bytes or all the new ones, whatever fails when. 0
// when done, else the system's error code, with no file left behind.
DWORD WriteReplacing(const char *path, const unsigned char *data, DWORD size)
{
    int error = 0;
    if (snesbrr::write_file_replacing(path, data, size, &error) == snesbrr::Status::Ok)
        return 0;
    return error ? static_cast<DWORD>(error) : ERROR_WRITE_FAULT;
}

} // namespace

// The loaded ROM file: its full path, and whether this session's first save has kept
// the file as opened beside it yet.
static char romPath[MAX_PATH] = "";
static bool backupKept = false;

// Opens the ROM file for reading and writing without write sharing: nobody can change the
// file's length or bytes behind the image.
static HANDLE HoldRom(const char *path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// Reads the whole ROM file behind h into a new image; null after a reported refusal.
static unsigned char *ReadRom(HANDLE h, DWORD *size)
{
    DWORD high = 0;
    const DWORD low = GetFileSize(h, &high);
    if (high != 0 || low > INT_MAX) {
        FIOError(FIO_TEXT_ROM_TOO_LARGE);
        return nullptr;
    }
    if (low <= 0x100000) {
        FIOError(FIO_TEXT_UNEXPANDED);
        return nullptr;
    }
    unsigned char *image = static_cast<unsigned char *>(malloc(low));
    if (!image) {
        FIOError(FIO_TEXT_ROM_NO_MEMORY);
        return nullptr;
    }
    OVERLAPPED at = {}; // offset 0, whatever the file position is
    DWORD read = 0;
    if (!ReadFile(h, image, low, &read, &at) || read != low) {
        free(image);
        FIOError(FIO_TEXT_ROM_UNREADABLE);
        return nullptr;
    }
    *size = low;
    return image;
}

int FileIn(unsigned char **slot, HWND owner)
{
    char chosen[MAX_PATH] = "";
    FIOSetOwner(owner);
    lastOpenCancelled = 1;
    if (!Choose(owner,
                "SNES ROMs (*.smc *.sfc *.fig *.bin)\0*.smc;*.sfc;*.fig;*.bin\0"
                "All Files (*.*)\0*.*\0",
                chosen))
        return 0;
    return FileInPath(slot, owner, chosen);
}

int FileInPath(unsigned char **slot, HWND owner, const char *chosen)
{
    char path[MAX_PATH] = "";
    FIOSetOwner(owner);
    lastOpenCancelled = 0;
    if (!GetFullPathNameA(chosen, sizeof path, path, nullptr))
        snprintf(path, sizeof path, "%s", chosen);

    // The loaded file is held by this program, so it cannot be opened a second time: it
    // is read again through the handle that holds it.
    const bool reopen = hFile != INVALID_HANDLE_VALUE && _stricmp(path, romPath) == 0;
    HANDLE h = reopen ? hFile : HoldRom(path);
    if (h == INVALID_HANDLE_VALUE) {
        FIOBox(boxOwner, MB_ICONWARNING, "FileOpen", FIO_TEXT_INVALID_PATH);
        return 0;
    }
    DWORD size = 0;
    unsigned char *image = ReadRom(h, &size);
    if (!image) {
        if (!reopen)
            CloseHandle(h);
        return 0;
    }
    // Read whole and accepted: only now is the earlier ROM let go.
    if (!reopen && hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
    hFile = h;
    free(*slot);
    *slot = image;
    ROMSize = static_cast<int>(size);
    snprintf(romPath, sizeof romPath, "%s", path);
    backupKept = false;
    return 1;
}

const char *FIOFileName()
{
    return FIONamePart(romPath);
}

int FIOLastOpenCancelled()
{
    return lastOpenCancelled;
}

// Keeps the ROM file as it is on disk, which is the file as opened until the first save,
// as "NAME.bak" beside it. It is read through the handle that holds it. 0 when kept,
// else the system's error code.
static DWORD KeepBackup()
{
    std::vector<unsigned char> bytes(static_cast<size_t>(ROMSize));
    OVERLAPPED at = {};
    DWORD read = 0;
    if (!ReadFile(hFile, bytes.data(), static_cast<DWORD>(ROMSize), &read, &at))
        return GetLastError();
    if (read != static_cast<DWORD>(ROMSize))
        return ERROR_HANDLE_EOF;
    const std::string backup = std::string(romPath) + ".bak";
    return WriteReplacing(backup.c_str(), bytes.data(), read);
}

int FileOut(const unsigned char *image)
{
    // After a replacement that another program raced to open, the file was not held
    // again; it is now, or this save fails.
    DWORD error = ERROR_INVALID_HANDLE;
    if (hFile == INVALID_HANDLE_VALUE && romPath[0]) {
        hFile = HoldRom(romPath);
        if (hFile == INVALID_HANDLE_VALUE)
            error = GetLastError();
    }
    if (hFile != INVALID_HANDLE_VALUE && image) {
        error = backupKept ? 0 : KeepBackup();
        if (!error) {
            backupKept = true;
            // The file must be let go for its replacement to take its name; it is held
            // again at once, the new file or, after a failure, the old one.
            CloseHandle(hFile);
            error = WriteReplacing(romPath, image, static_cast<DWORD>(ROMSize));
            hFile = HoldRom(romPath);
        }
    }
    if (error) {
        // Without an image there is no system reason to give.
        if (image)
            FIOBox(boxOwner, MB_ICONERROR, "Save Error", FIO_TEXT_SAVE_FAILED "\n%s",
                   FIOReason(error));
        else
            FIOBox(boxOwner, MB_ICONERROR, "Save Error", FIO_TEXT_SAVE_FAILED);
        return 1;
    }
    FIOBox(boxOwner, MB_ICONINFORMATION, "Save", "Save successful");
    return 0;
}

void FIOCfgCurDir(const char *dir)
{
    snprintf(appdir, sizeof appdir, "%s", dir);
}

void FIOSetCurDir()
{
    SetCurrentDirectoryA(appdir);
}

const char *FIOWavIn(HWND owner)
{
    // Never cleared, so that every chooser starts from the previous choice.
    static char sFilename[MAX_PATH] = "";
    return Choose(owner,
                  "Samples (*.wav;*.brr)\0*.wav;*.brr\0WAV files (*.wav)\0*.wav\0"
                  "BRR samples (*.brr)\0*.brr\0All Files (*.*)\0*.*\0",
                  sFilename)
               ? sFilename
               : nullptr;
}

// True when path ends in ext (".brr"), in any case.
static bool EndsWith(const char *path, const char *ext)
{
    const size_t length = strlen(path), extLength = strlen(ext);
    return length >= extLength && _stricmp(path + length - extLength, ext) == 0;
}

const char *FIOExportOut(HWND owner, const char *name, int *wav)
{
    static char path[MAX_PATH];
    snprintf(path, sizeof path, "%s", name);
    DWORD filter = 1;
    if (!Choose(owner, "BRR sample (*.brr)\0*.brr\0WAV file (*.wav)\0*.wav\0", path, &filter))
        return nullptr;
    *wav = EndsWith(path, ".wav") || (!EndsWith(path, ".brr") && filter == 2);
    const char *ext = *wav ? ".wav" : ".brr";
    if (!strchr(FIONamePart(path), '.') && strlen(path) + strlen(ext) < sizeof path)
        strcat(path, ext);

    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return path;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        FIOErrorFor(owner, "%s is a folder.\nChoose a file name to export to.", path);
        return nullptr;
    }
    const int answer = FIOBox(owner, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, "Export Sample",
                              "%s already exists.\nDo you want to replace it?", path);
    return answer == IDYES ? path : nullptr;
}

unsigned char *FIOReadFile(const char *path, int limit, int *length, HWND owner)
{
    *length = -1;
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        FIOErrorFor(owner, FIO_TEXT_CANNOT_OPEN, path);
        return nullptr;
    }
    DWORD high = 0;
    const DWORD low = GetFileSize(h, &high);
    if (high != 0 || low > static_cast<DWORD>(limit)) {
        CloseHandle(h);
        *length = (high != 0 || low > INT_MAX) ? INT_MAX : static_cast<int>(low);
        return nullptr;
    }
    // One spare byte, so that an empty file still gets a buffer of its own.
    unsigned char *buffer = static_cast<unsigned char *>(malloc(low + 1));
    DWORD read = 0;
    const bool ok = buffer && ReadFile(h, buffer, low, &read, nullptr) && read == low;
    CloseHandle(h);
    if (!ok) {
        free(buffer);
        FIOErrorFor(owner, FIO_TEXT_READ_INCOMPLETE, path);
        return nullptr;
    }
    *length = static_cast<int>(low);
    return buffer;
}

int FIOWriteFile(const char *path, const unsigned char *data, int size, HWND owner)
{
    const DWORD error = WriteReplacing(path, data, static_cast<DWORD>(size));
    if (!error)
        return 0;
    FIOErrorFor(owner, FIO_TEXT_CANNOT_WRITE, path, FIOReason(error));
    return 1;
}

int FIOSampleWrite(const unsigned char *data, uint16_t size)
{
    FIOSetCurDir();
    HANDLE h =
        CreateFileA("temp.brr", GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        FIOBox(boxOwner, MB_ICONERROR, "Couldn't create sample file.", "Sample output failed.");
        return 1;
    }
    DWORD written = 0;
    const bool ok = WriteFile(h, data, size, &written, nullptr) && written == size;
    CloseHandle(h);
    if (!ok) {
        FIOError("Sample output failed.  Couldn't write file.");
        return 1;
    }
    return 0;
}
