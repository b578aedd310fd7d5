#include "FileIO.h"

#include <windows.h>
#include <commdlg.h>

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fileio.h" // the codec's all-or-nothing file writing

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

// Every box of this module goes through here, so that each has the window as its owner.
static void Box(const char *text, const char *caption, UINT icon)
{
    MessageBoxA(boxOwner, text, caption, icon);
}

static void Refuse(const char *text)
{
    Box(text, "Error", MB_ICONERROR);
}

// For the operations that name their window: the export chooser's and the file copies'.
static void Refuse(HWND owner, const char *text)
{
    MessageBoxA(owner, text, "Error", MB_ICONERROR);
}

static int RefuseOpen(const char *text)
{
    Refuse(text);
    return 0;
}

void FIOSetOwner(HWND window)
{
    boxOwner = window;
}

HWND FIOOwner()
{
    return boxOwner;
}

int FileIn(unsigned char **slot, HWND owner)
{
    char path[MAX_PATH] = "";
    FIOSetOwner(owner);
    lastOpenCancelled = 1;
    if (!Choose(owner,
                "SNES ROMs (*.smc *.sfc *.fig *.bin)\0*.smc;*.sfc;*.fig;*.bin\0"
                "All Files (*.*)\0*.*\0",
                path))
        return 0;
    lastOpenCancelled = 0;

    if (hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(hFile);
        hFile = INVALID_HANDLE_VALUE;
    }
    // No write sharing: nobody can change the file's length behind the image.
    hFile = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        0, nullptr);
    // From here on a refusal leaves no image: the old one belongs to a closed file.
    free(*slot);
    *slot = nullptr;
    ROMSize = 0;
    if (hFile == INVALID_HANDLE_VALUE) {
        Box("Invalid source path", "FileOpen", MB_ICONWARNING);
        return 0;
    }

    DWORD high = 0;
    const DWORD low = GetFileSize(hFile, &high);
    if (high != 0 || low > INT_MAX)
        return RefuseOpen("This ROM file is 2 GiB or larger and cannot be loaded.\n"
                          "Choose the ROM file itself, not a disc or archive image.");
    if (low <= 0x100000)
        return RefuseOpen("An unexpanded ROM does not have any vacant banks.\n"
                          "Expand it and try again.");

    unsigned char *image = static_cast<unsigned char *>(malloc(low));
    if (!image)
        return RefuseOpen("There is not enough memory to load this ROM.\n"
                          "Close other programs and try again.");
    DWORD read = 0;
    if (!ReadFile(hFile, image, low, &read, nullptr) || read != low) {
        free(image);
        return RefuseOpen("The ROM file could not be read completely.\n"
                          "Check that the file is readable and try again.");
    }
    *slot = image;
    ROMSize = static_cast<int>(low);
    return 1;
}

int FIOLastOpenCancelled()
{
    return lastOpenCancelled;
}

int FileOut(const unsigned char *image)
{
    bool saved = false;
    if (hFile != INVALID_HANDLE_VALUE && image) {
        const DWORD size = GetFileSize(hFile, nullptr);
        // The image is exactly as long as the file was when it was read; never write more.
        if (size == static_cast<DWORD>(ROMSize)) {
            OVERLAPPED at = {}; // offset 0, whatever the file position is
            DWORD written = 0;
            saved = WriteFile(hFile, image, size, &written, &at) && written == size &&
                    FlushFileBuffers(hFile);
        }
    }
    if (!saved) {
        Box("Save failed", "Save Error", MB_ICONERROR);
        return 1;
    }
    Box("Save successful", "Save", MB_ICONINFORMATION);
    return 0;
}

void FIOError(const char *text)
{
    Refuse(text);
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
    // The name part of the path: after the last separator of the folder.
    const char *base = path;
    for (const char *c = path; *c; ++c)
        if (*c == '\\' || *c == '/' || *c == ':')
            base = c + 1;
    if (!strchr(base, '.') && strlen(path) + strlen(ext) < sizeof path)
        strcat(path, ext);

    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return path;
    char text[MAX_PATH + 100];
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        snprintf(text, sizeof text, "%s is a folder.\nChoose a file name to export to.", path);
        Refuse(owner, text);
        return nullptr;
    }
    snprintf(text, sizeof text, "%s already exists.\nDo you want to replace it?", path);
    const int answer =
        MessageBoxA(owner, text, "Export Sample", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    return answer == IDYES ? path : nullptr;
}

unsigned char *FIOReadFile(const char *path, int limit, int *length, HWND owner)
{
    *length = -1;
    char text[MAX_PATH + 100];
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        snprintf(text, sizeof text, "%s cannot be opened.\nCheck that it exists and is readable.",
                 path);
        Refuse(owner, text);
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
        snprintf(text, sizeof text, "%s could not be read completely.", path);
        Refuse(owner, text);
        return nullptr;
    }
    *length = static_cast<int>(low);
    return buffer;
}

int FIOWriteFile(const char *path, const unsigned char *data, int size, HWND owner)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    if (snesbrr::write_file_replacing(path, bytes) == snesbrr::Status::Ok)
        return 0;
    char text[MAX_PATH + 100];
    snprintf(text, sizeof text,
             "%s could not be written.\nCheck that its folder is writable and has room; "
             "nothing was written.",
             path);
    Refuse(owner, text);
    return 1;
}

static HANDLE OpenForReading(const char *name)
{
    return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

int FIOGetSize(const char *name, bool *measured)
{
    if (measured)
        *measured = false;
    HANDLE h = OpenForReading(name);
    if (h == INVALID_HANDLE_VALUE) {
        Refuse("Size check failed. Couldn't access target file");
        return 0;
    }
    DWORD high = 0;
    const DWORD low = GetFileSize(h, &high);
    CloseHandle(h);
    if (measured)
        *measured = true;
    return (high != 0 || low > INT_MAX) ? INT_MAX : static_cast<int>(low);
}

int FIOSampleWrite(const unsigned char *data, uint16_t size)
{
    FIOSetCurDir();
    HANDLE h =
        CreateFileA("temp.brr", GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Box("Sample output failed.", "Couldn't create sample file.", MB_ICONERROR);
        return 1;
    }
    DWORD written = 0;
    const bool ok = WriteFile(h, data, size, &written, nullptr) && written == size;
    CloseHandle(h);
    if (!ok) {
        Refuse("Sample output failed.  Couldn't write file.");
        return 1;
    }
    return 0;
}

unsigned char *FIOSampleRead(int *length)
{
    FIOSetCurDir();
    const int size = FIOGetSize("temp.brr");
    HANDLE h = OpenForReading("temp.brr");
    if (h == INVALID_HANDLE_VALUE) {
        Refuse("Sample read failed.  Couldn't access target sample.");
        return nullptr;
    }
    // One spare byte, so that an empty sample still gets a buffer of its own.
    unsigned char *buffer = static_cast<unsigned char *>(malloc(static_cast<size_t>(size) + 1));
    if (!buffer) {
        CloseHandle(h);
        Refuse("There is not enough memory to read the encoded sample.");
        return nullptr;
    }
    DWORD read = 0;
    const bool ok = ReadFile(h, buffer, static_cast<DWORD>(size), &read, nullptr) &&
                    read == static_cast<DWORD>(size);
    CloseHandle(h);
    if (!ok) {
        free(buffer);
        Refuse("Sample read failed.  Couldn't read in file.");
        return nullptr;
    }
    if (length)
        *length = size;
    return buffer;
}
