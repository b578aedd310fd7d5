// File input and output: the ROM file, the program directory, the WAV chooser and the
// scratch files that the encoder program reads and writes.
//
// The ROM file stays open for reading and writing, without write sharing, from a
// successful open until the next open or the end of the process; the ROM image is its
// whole content, copier header included, addressed by file offset.
#pragma once
#include <cstdint>

// The engine modules take window handles without seeing the platform headers; this is
// the same declaration that <windows.h> makes.
struct HWND__;
typedef HWND__ *HWND;

extern unsigned char *ROMMem; // ROM image, ROMSize bytes; null before the first open
extern int ROMSize;           // bytes, > 0x100000 once a file was accepted

// The file layer's texts, which its window form shows in boxes and its console form
// writes as lines. Macros, so that printf-style checks see the literals.
#define FIO_TEXT_INVALID_PATH "Invalid source path"
#define FIO_TEXT_ROM_TOO_LARGE                                                                     \
    "This ROM file is 2 GiB or larger and cannot be loaded.\n"                                     \
    "Choose the ROM file itself, not a disc or archive image."
#define FIO_TEXT_UNEXPANDED                                                                        \
    "An unexpanded ROM does not have any vacant banks.\nExpand it and try again."
#define FIO_TEXT_ROM_NO_MEMORY                                                                     \
    "There is not enough memory to load this ROM.\nClose other programs and try again."
#define FIO_TEXT_ROM_UNREADABLE                                                                    \
    "The ROM file could not be read completely.\nCheck that the file is readable and try "         \
    "again."
#define FIO_TEXT_SAVE_FAILED "Save failed"
#define FIO_TEXT_CANNOT_OPEN "%s cannot be opened.\nCheck that it exists and is readable."
#define FIO_TEXT_READ_INCOMPLETE "%s could not be read completely."
#define FIO_TEXT_CANNOT_WRITE                                                                      \
    "%s could not be written.\n%s\nCheck that its folder is writable and has room; "               \
    "nothing was written."

// Owner of every message box of the file layer, the engine and the encoder runs: the
// main window, which the system disables while a box it owns is shown, so that no
// command of the window can run in the middle of another. FileIn sets it to its owner;
// null (unowned boxes) until then.
void FIOSetOwner(HWND window);
HWND FIOOwner();

// Every message box of the program: the text is composed printf-style from format (at
// most 1023 characters are kept) and shown with caption and type (MB_ buttons and icon)
// in a box owned by owner (null only before the main window exists). Returns the button
// chosen: IDOK, IDYES, IDNO or IDCANCEL.
__attribute__((format(printf, 4, 5))) int FIOBox(HWND owner, unsigned type, const char *caption,
                                                 const char *format, ...);

// The system's wording of error (a GetLastError code) as one sentence, valid until the
// next call; "error N." when the system has none.
const char *FIOReason(unsigned long error);

// A refusal: FIOBox with caption "Error" and the error icon, owned by owner; FIOError
// gives it to FIOOwner().
__attribute__((format(printf, 2, 3))) void FIOErrorFor(HWND owner, const char *format, ...);
__attribute__((format(printf, 1, 2))) void FIOError(const char *format, ...);

// A question of the engine: FIOBox with caption, the question icon and Yes and No,
// owned by FIOOwner(). True for Yes.
__attribute__((format(printf, 2, 3))) bool FIOAsk(const char *caption, const char *format, ...);

// Lets the user choose a ROM file (.smc, .sfc, .fig, .bin or any), opens it and reads it
// whole into a new image stored at *slot; only then are the previous image released and
// the previous file let go. Makes owner the owner of the boxes. Returns 1 when a file was
// read, 0 when the user cancelled or the file was refused (reported): the loaded ROM,
// image and file, is then untouched.
int FileIn(unsigned char **slot, HWND owner);

// FileIn with the file at path instead of a chosen one (a dropped file): the same checks,
// results and boxes.
int FileInPath(unsigned char **slot, HWND owner, const char *path);

// The name part of path: what follows its last '\\', '/' or ':' (all of path when none).
inline const char *FIONamePart(const char *path)
{
    const char *name = path;
    for (const char *c = path; *c; ++c)
        if (*c == '\\' || *c == '/' || *c == ':')
            name = c + 1;
    return name;
}

// The loaded ROM file's name without its folder; "" before the first accepted open.
const char *FIOFileName();

// 1 when the last FileIn returned 0 because the user cancelled the chooser (the loaded
// ROM, if any, is untouched), 0 when it accepted or refused a file.
int FIOLastOpenCancelled();

// Replaces the open ROM file by the image, as long as the file, and reports the outcome
// to the user. All or nothing: the image goes to a new file in the same folder, which
// takes the ROM file's place only once it is complete on the disk. The first save after
// an open first keeps the file as opened as "NAME.bak" beside it. Returns 0 when
// written, 1 when the file on disk is still the old one (the box names the system's
// reason). A headerless file stays headerless: the image is the file, header or none.
int FileOut(const unsigned char *image);

// Keeps a copy of the program directory (at most 255 characters are kept).
void FIOCfgCurDir(const char *dir);

// Makes the program directory the current directory; the file choosers move it.
void FIOSetCurDir();

// Lets the user choose a sample file: WAV or BRR ("Samples" first, then each type alone,
// then all files). Returns its full path, valid until the next call, or null when the
// user cancelled. The chooser starts from the previous choice.
const char *FIOWavIn(HWND owner);

// Lets the user name the file that an export writes, in a Save As chooser that offers
// "BRR sample (*.brr)" and "WAV file (*.wav)" and proposes name. The file's extension
// (.brr or .wav, any case) sets *wav to 0 or 1; a name without either takes the type of
// the chosen filter, and without any extension that type's extension too. An existing
// file is replaced only when the user says so. Returns the full path, valid until the
// next call, or null when the user cancelled or declined to replace.
const char *FIOExportOut(HWND owner, const char *name, int *wav);

// Reads the whole file at path into a new buffer that the caller releases with free(),
// its length in *length. A file larger than limit bytes is not read: null, with its
// size in *length (at most 0x7FFFFFFF). Null with *length = -1 after a reported failure
// (box owned by owner).
unsigned char *FIOReadFile(const char *path, int limit, int *length, HWND owner);

// Makes the file at path hold exactly size bytes of data: they are written beside it,
// flushed, and take its place in one step only when complete. Returns 0 when written;
// 1 after a reported failure (box owned by owner, naming the system's reason), with
// path as it was and no partial file anywhere.
int FIOWriteFile(const char *path, const unsigned char *data, int size, HWND owner);

// Replaces "temp.brr" in the program directory with size bytes of data. Returns 0 when
// the file holds exactly those bytes, 1 after a reported failure.
int FIOSampleWrite(const unsigned char *data, uint16_t size);
