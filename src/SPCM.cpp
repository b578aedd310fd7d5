#include "SPCM.h"

#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "addr.h"
#include "brr.h"
#include "brrfile.h"
#include "fit.h"
#include "loop.h"
#include "snesbrr.h"
#include "voice.h"

namespace {

// Bank layout, offsets from the bank's first byte.
constexpr int kBankSize = 0x8000;
constexpr int kUploadOffset = 0x0008; // the hooks point here
constexpr int kDirOffset = 0x000C;
constexpr int kDirSize = 0x100; // 64 entries of 4 bytes
constexpr int kDataHeaderOffset = 0x010C;
constexpr int kDataOffset = 0x0110;
constexpr int kDataSize = kSPCMDataEnd - kSPCMDataStart;
constexpr int kChainEndOffset = 0x7FF2;
constexpr int kCounterOffset = 0x7FF6;
constexpr int kMarkerOffset = 0x7FF8;
constexpr char kMarker[8] = {'q', 'e', 'l', 'v', 'a', 'r', 'i', 'n'};

// Audio addresses of the sample memory image.
constexpr int kImageBase = 0x8000;
constexpr int kImageSize = 0x8000;

// BRR blocks and .brr files follow the codec's rules (brr.h, brrfile.h).
constexpr int kBlock = static_cast<int>(snesbrr::kBlockBytes);
constexpr int kHeader = static_cast<int>(snesbrr::kBrrHeaderBytes);

// Offsets from ROM byte 0, which lies behind the copier header when the file has one.
// Hooks: low, middle and bank byte of the upload block's LoROM address.
constexpr int kHookLow = 0xFE, kHookMid = 0x103, kHookBank = 0x108;
// Stock material of the unmodified game.
constexpr int OrigPtrAddr = 0x78004;
constexpr int OrigPtrSize = 0x50;
constexpr int OrigPCMAddr = 0x78058;
constexpr int OrigPCMSize = 0x6F20;
// The sound program's pointer holds one bank byte: banks 0x00-0xFF, 8 MiB of ROM.
constexpr int kReachable = 0x800000;
// The free area of a new bank starts at 0xF01C, 4 bytes below the end of the stock data.
constexpr int kInitialFree = 0x0FC6;

unsigned char *SPCMem = nullptr;
uint32_t ROMPtrPC = 0; // file offset of the bank's first upload block; the bank starts 8 bytes earlier
uint16_t freespace = 0;

void Put16(unsigned char *p, int value)
{
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

int Get16(const unsigned char *p)
{
    return p[0] | p[1] << 8;
}

// Bytes of copier header in front of the loaded ROM data: 0x200 or 0 (headerless).
int Header()
{
    return static_cast<int>(AddrHeaderSize(ROMSize));
}

// File offset of a ROM offset.
int At(int romOffset)
{
    return Header() + romOffset;
}

int FreeAreaStart()
{
    return kSPCMDataEnd - freespace;
}

// Lowest start above the slot's start, or the free-area start: where its sample ends.
int NextStart(int start)
{
    int next = FreeAreaStart();
    for (int i = 0; i < kSPCMSlots; ++i) {
        const int other = SPCMFetchStart(i);
        if (other > start && other < next)
            next = other;
    }
    return next;
}

bool ValidSlot(int slot)
{
    return SPCMem && slot >= 0 && slot < kSPCMSlots;
}

// True when a whole bank starting at file offset bank lies inside the ROM image.
bool BankInsideImage(int64_t bank)
{
    return ROMMem && bank >= 0 && bank + kBankSize <= ROMSize;
}

// True when the ROM image still holds the bank that was read in, marker and all.
bool BankStillThere()
{
    const int64_t bank = int64_t(ROMPtrPC) - kUploadOffset;
    return SPCMem && BankInsideImage(bank) &&
           memcmp(ROMMem + bank + kMarkerOffset, kMarker, sizeof kMarker) == 0;
}

// Reports a bank that cannot be read and forgets the previous one: the ROM image it
// belonged to has been replaced, so nothing may write it there any more.
int RefuseBank(const char *text)
{
    FIOError("%s", text);
    free(SPCMem);
    SPCMem = nullptr;
    freespace = 0;
    return 0;
}

// Refuses the bank at file offset bank that the hooks' pointer leads to; why ends the
// sentence that names the fault.
int RefuseBankAt(uint32_t pointer, int64_t bank, const char *why)
{
    char text[256];
    snprintf(text, sizeof text,
             "The ROM's sample pointer (%06X) leads to a bank at %X, which %s.\nThe ROM is "
             "damaged or was changed by other means; open another ROM.",
             static_cast<unsigned>(pointer), static_cast<unsigned>(bank), why);
    return RefuseBank(text);
}

} // namespace

unsigned char **SPCMGetPPtr()
{
    return &ROMMem;
}

unsigned char *SPCMGetSPCPtr()
{
    return SPCMem;
}

int SPCMCheckPresence()
{
    const size_t start = size_t(Header());
    if (!ROMMem || size_t(ROMSize) < start + sizeof kMarker)
        return 0;
    // The last position examined is the image size - 8: the marker may end with the file.
    const size_t last = size_t(ROMSize) - sizeof kMarker;
    const unsigned char firstByte = kMarker[0], lastByte = kMarker[sizeof kMarker - 1];
    // A position is a candidate when its first and last bytes match the marker's. Each
    // chunk is tested whole, without an early exit, so that the compiler compares many
    // positions per instruction; only the rare chunk with a candidate is compared fully.
    constexpr size_t kChunk = 256;
    for (size_t p = start; p <= last; p += kChunk) {
        const unsigned char *at = ROMMem + p;
        const size_t count = last - p + 1 < kChunk ? last - p + 1 : kChunk;
        unsigned char candidate = 0;
        if (count == kChunk) {
            for (size_t i = 0; i < kChunk; ++i)
                candidate |= (at[i] == firstByte) & (at[i + sizeof kMarker - 1] == lastByte);
        } else {
            candidate = 1; // the short tail is simply compared in full
        }
        if (!candidate)
            continue;
        for (size_t i = 0; i < count; ++i)
            if (memcmp(at + i, kMarker, sizeof kMarker) == 0)
                return 1;
    }
    return 0;
}

namespace {

// Why SPCMSetupROM refuses offset, composed into text (256 characters); false when it
// builds there.
bool PlacementRefusal(int offset, char *text)
{
    constexpr size_t kText = 256;
    const int header = Header();
    // An example bank start for the messages: the first bank past the stock material.
    const unsigned example = static_cast<unsigned>(At(0x80000));
    if (offset < header || (offset - header) % kBankSize != 0) {
        snprintf(text, kText,
                 "A sample bank cannot start at %X: the banks of this ROM start at %s.\n"
                 "Choose a bank start, for example %X.",
                 static_cast<unsigned>(offset),
                 header ? "200 (behind the copier header) plus a multiple of 8000"
                        : "multiples of 8000 (it has no copier header)",
                 example);
        return true;
    }
    if (offset - header >= kReachable) {
        snprintf(text, kText,
                 "A sample bank at %X cannot be reached: the ROM's pointer holds only one bank "
                 "byte.\nChoose a bank below %X.",
                 static_cast<unsigned>(offset), static_cast<unsigned>(At(kReachable)));
        return true;
    }
    if (offset == header) {
        snprintf(text, kText,
                 "The first bank of the ROM holds the game's sample pointer and cannot take "
                 "the sample bank.\nChoose another bank, for example %X.",
                 example);
        return true;
    }
    if (!BankInsideImage(offset) || At(OrigPCMAddr + OrigPCMSize) > ROMSize) {
        snprintf(text, kText,
                 "A sample bank at %X does not fit in this ROM of %X bytes.\n"
                 "Choose a bank that ends inside the ROM, or expand the ROM.",
                 static_cast<unsigned>(offset), static_cast<unsigned>(ROMSize));
        return true;
    }
    return false;
}

// True when SPCMSetupROM accepts offset.
bool Placeable(int offset)
{
    char text[256];
    return !PlacementRefusal(offset, text);
}

} // namespace

const char *SPCMBoundaryRefusal(long offset, int header)
{
    // Unsigned, so that an offset below the header is off the boundary too.
    if (((unsigned long)offset - (unsigned long)header) % kBankSize == 0)
        return nullptr;
    return header ? "Pointer is not on 32kb boundary\ni.e. 80200, 88200, 90200..."
                  : "Pointer is not on 32kb boundary\ni.e. 80000, 88000, 90000...";
}

const char *SPCMPlacementRefusal(int offset)
{
    static char text[256];
    return PlacementRefusal(offset, text) ? text : nullptr;
}

int SPCMSetupROM(int offset)
{
    const int header = Header();
    char text[256];
    if (PlacementRefusal(offset, text)) {
        FIOError("%s", text);
        return 0;
    }

    // Read the stock material before anything is written: the bank may cover it.
    unsigned char directory[kDirSize] = {};
    memcpy(directory, ROMMem + At(OrigPtrAddr), OrigPtrSize);
    unsigned char *data = static_cast<unsigned char *>(calloc(kDataSize, 1));
    if (!data) {
        FIOError("There is not enough memory to build the sample bank.");
        return 0;
    }
    memcpy(data, ROMMem + At(OrigPCMAddr), OrigPCMSize);

    unsigned char *bank = ROMMem + offset;
    memcpy(bank, "STAR", 4);
    Put16(bank + 4, 0x7FF8);
    Put16(bank + 6, 0x8007);
    Put16(bank + kUploadOffset, kDirSize);
    Put16(bank + kUploadOffset + 2, kImageBase);
    memcpy(bank + kDirOffset, directory, kDirSize);
    Put16(bank + kDataHeaderOffset, kDataSize);
    Put16(bank + kDataHeaderOffset + 2, kSPCMDataStart);
    memcpy(bank + kDataOffset, data, kDataSize);
    free(data);
    Put16(bank + kChainEndOffset, 0);
    Put16(bank + kChainEndOffset + 2, 0);
    Put16(bank + kCounterOffset, kInitialFree);
    memcpy(bank + kMarkerOffset, kMarker, sizeof kMarker);

    const uint32_t pointer =
        AddrPCLOROM(static_cast<uint32_t>(offset + kUploadOffset), static_cast<uint32_t>(header));
    ROMMem[At(kHookLow)] = static_cast<unsigned char>(pointer);
    ROMMem[At(kHookMid)] = static_cast<unsigned char>(pointer >> 8);
    ROMMem[At(kHookBank)] = static_cast<unsigned char>(pointer >> 16);
    return 1;
}

int SPCMBankData(int offset)
{
    if (!Placeable(offset))
        return -1;
    int count[256] = {};
    const unsigned char *bank = ROMMem + offset;
    for (int i = 0; i < kBankSize; ++i)
        ++count[bank[i]];
    const int padding = count[0xFF] > count[0x00] ? count[0xFF] : count[0x00];
    for (int value = 0x01; value < 0xFF; ++value)
        if (count[value] > padding)
            return kBankSize;
    return kBankSize - padding;
}

int SPCMFirstFreeBank()
{
    // Below 1 MiB lies the game itself; an expanded ROM's padding starts there.
    constexpr int kExpansion = 0x100000;
    for (int bank = At(kExpansion); bank <= ROMSize - kBankSize; bank += kBankSize)
        if (SPCMBankData(bank) == 0)
            return bank;
    return -1;
}

int SPCMReadIn()
{
    if (!ROMMem || ROMSize <= At(kHookBank))
        return RefuseBank("No ROM is loaded.");
    char text[256];
    const uint32_t pointer =
        ROMMem[At(kHookLow)] | ROMMem[At(kHookMid)] << 8 | ROMMem[At(kHookBank)] << 16;
    // Below 0x8000 within its bank an address has no place in the ROM.
    const int64_t bank =
        (pointer & 0xFFFF) < 0x8000
            ? -1
            : int64_t(AddrLOROMPC(pointer, static_cast<uint32_t>(Header()))) - kUploadOffset;
    if (!BankInsideImage(bank)) {
        snprintf(text, sizeof text,
                 "The ROM's sample pointer (%06X) does not lead to a sample bank inside this "
                 "ROM.\nThe ROM is damaged or was changed by other means; open another ROM.",
                 static_cast<unsigned>(pointer));
        return RefuseBank(text);
    }
    // Saving such a bank would write directory bytes over the pointer.
    if (bank <= At(kHookBank) && bank + kBankSize > At(kHookLow))
        return RefuseBankAt(pointer, bank, "covers the pointer itself");
    const unsigned char *base = ROMMem + bank;
    // Save writes only into a bank that ends with the marker.
    if (memcmp(base + kMarkerOffset, kMarker, sizeof kMarker) != 0)
        return RefuseBankAt(pointer, bank,
                            "does not end with the sample bank's marker, so it could never be "
                            "saved");
    const int counter = Get16(base + kCounterOffset);
    if (counter > kDataSize) {
        snprintf(text, sizeof text,
                 "The sample bank's free-space counter (%X bytes) is larger than the whole "
                 "sample area (%X bytes).\nThe sample bank is damaged; open another ROM.",
                 static_cast<unsigned>(counter), static_cast<unsigned>(kDataSize));
        return RefuseBank(text);
    }
    for (int i = 0; i < kSPCMSlots; ++i) {
        const int start = Get16(base + kDirOffset + 4 * i);
        if (start != 0 && (start < kSPCMDataStart || start > kSPCMDataEnd - counter)) {
            snprintf(text, sizeof text,
                     "Slot %.2X of the sample bank starts at %X, outside the used sample area "
                     "(8100 to %X).\nThe sample bank is damaged; open another ROM.",
                     static_cast<unsigned>(i), static_cast<unsigned>(start),
                     static_cast<unsigned>(kSPCMDataEnd - counter));
            return RefuseBank(text);
        }
    }

    unsigned char *image = static_cast<unsigned char *>(calloc(kImageSize, 1));
    if (!image)
        return RefuseBank("There is not enough memory to read the sample bank.");
    free(SPCMem);
    SPCMem = image;
    ROMPtrPC = static_cast<uint32_t>(bank + kUploadOffset);
    memcpy(SPCMem, base + kDirOffset, kDirSize);
    memcpy(SPCMem + (kSPCMDataStart - kImageBase), base + kDataOffset, kDataSize);
    freespace = static_cast<uint16_t>(counter);
    return 1;
}

int SPCMSave()
{
    // After another ROM replaced the image without a bank being read from it, the bank
    // in memory belongs nowhere: writing it would damage the new ROM.
    if (!BankStillThere())
        return FileOut(nullptr);
    unsigned char *base = ROMMem + (ROMPtrPC - kUploadOffset);
    memcpy(base + kDirOffset, SPCMem, kDirSize);
    memcpy(base + kDataOffset, SPCMem + (kSPCMDataStart - kImageBase), kDataSize);
    Put16(base + kCounterOffset, freespace);
    return FileOut(ROMMem);
}

int SPCMBankOffset()
{
    return SPCMem ? static_cast<int>(ROMPtrPC) - kUploadOffset : -1;
}

int SPCMGetFree()
{
    return freespace;
}

int SPCMFetchStart(int slot)
{
    return ValidSlot(slot) ? Get16(SPCMem + 4 * slot) : 0;
}

int SPCMFetchLoop(int slot)
{
    return ValidSlot(slot) ? Get16(SPCMem + 4 * slot + 2) : 0;
}

int SPCMGetSampleSize(int slot)
{
    const int start = SPCMFetchStart(slot);
    if (start == 0)
        return 0;
    return (NextStart(start) - start) & 0xFFFF;
}

namespace {

// Bytes of the blocks that a decoder plays from the sample at start of size bytes: up
// to and including the first block with the end flag, else every whole block.
int PlayedSize(int start, int size)
{
    size_t blocks = 0;
    snesbrr::count_blocks(SPCMem + (start - kImageBase), static_cast<size_t>(size), blocks);
    return static_cast<int>(blocks) * kBlock;
}

void TooLarge(int bytes)
{
    FIOError("Input sample too large.\nSize: %X bytes\nFree: %X bytes",
             static_cast<unsigned>(bytes), static_cast<unsigned>(freespace));
}

// What a .brr image must be to be placed: a sample that plays once (raw, as the encoder
// writes one), one that loops (headered, the loop flag on its end block), or either.
enum class Form { Any, Raw, Looped };

// Places a .brr file image of size bytes into the empty slot: raw blocks (loop = start)
// or blocks behind a loop offset (loop = start + offset), checked as the codec reads
// .brr files. what names the image in the refusals ("this .brr file"). Returns 0 when
// placed, 1 after a reported refusal.
int PlaceImage(int slot, const unsigned char *file, int size, Form form, const char *what)
{
    // The refusals that open with the image's name need it with a capital.
    char What[40];
    snprintf(What, sizeof What, "%s", what);
    What[0] = static_cast<char>(toupper(static_cast<unsigned char>(What[0])));

    snesbrr::BrrFile brr;
    const snesbrr::Status status = parse_brr_file(file, static_cast<size_t>(size), brr);
    if (status == snesbrr::Status::NotBrrSize || (brr.headered && form == Form::Raw)) {
        FIOError("%s is %d bytes long, which fits neither form of BRR data: raw blocks "
                 "take a multiple of 9 bytes, blocks behind a loop header 2 bytes more.\n"
                 "Nothing was inserted.",
                 What, size);
        return 1;
    }
    const int bytes = static_cast<int>(brr.size);
    if (size == 0 || size == kHeader) {
        FIOError("%s holds no BRR block.\nNothing was inserted.", What);
        return 1;
    }
    const int offset = file && size >= kHeader ? Get16(file) : 0;
    if (status == snesbrr::Status::LoopOffsetUneven) {
        FIOError("The loop offset in the header of %s (%d bytes) is not a multiple of 9, so "
                 "it does not lead to a block.\nNothing was inserted.",
                 what, offset);
        return 1;
    }
    if (status == snesbrr::Status::LoopOffsetOutside) {
        FIOError("The loop offset in the header of %s (%d bytes) lies outside its %d bytes "
                 "of BRR data.\nNothing was inserted.",
                 what, offset, size - kHeader);
        return 1;
    }
    if (!ValidSlot(slot) || SPCMFetchStart(slot) != 0)
        return 1;
    if (bytes > freespace) {
        TooLarge(bytes);
        return 1;
    }
    size_t played = 0;
    snesbrr::count_blocks(brr.blocks, brr.size, played);
    const int last = bytes / kBlock - 1;
    if (static_cast<int>(played) - 1 < last) {
        FIOError("Block %d of %s has the end flag, but the last block is %d: the sample "
                 "would stop there.\nNothing was inserted.",
                 static_cast<int>(played) - 1, what, last);
        return 1;
    }
    if (!snesbrr::parse_header(brr.blocks[bytes - kBlock]).end) {
        FIOError("The last block of %s lacks the end flag: the sample would play on into "
                 "whatever follows it.\nNothing was inserted.",
                 what);
        return 1;
    }
    size_t loopBlock = 0;
    if (form == Form::Looped && !snesbrr::plays_loop(brr, loopBlock)) {
        FIOError("%s does not loop: it has no loop header, or its last block lacks the "
                 "loop flag.\nNothing was inserted; Insert takes a sample that plays once.",
                 What);
        return 1;
    }
    const int start = FreeAreaStart();
    Put16(SPCMem + 4 * slot, start);
    Put16(SPCMem + 4 * slot + 2, start + static_cast<int>(brr.loop_offset));
    memcpy(SPCMem + (start - kImageBase), brr.blocks, static_cast<size_t>(bytes));
    freespace = static_cast<uint16_t>(freespace - bytes);
    return 0;
}

// Places what an encoder run or a file read gave: file (size bytes), or null when the
// read failed (reported; size -1) or the file was larger than any bank holds (not read;
// size its length), which is refused here as too large.
int PlaceRead(int slot, const unsigned char *file, int size, Form form, const char *what)
{
    if (file)
        return PlaceImage(slot, file, size, form, what);
    if (size >= 0)
        TooLarge(size % kBlock == kHeader ? size - kHeader : size);
    return 1;
}

bool IsBrrName(const char *path)
{
    const size_t length = strlen(path);
    if (length < 4)
        return false;
    const char *ext = path + length - 4;
    return ext[0] == '.' && tolower(ext[1]) == 'b' && tolower(ext[2]) == 'r' &&
           tolower(ext[3]) == 'r';
}

// The loop block that a .brr file's name proposes for its size bytes of raw blocks: sample
// packs write "Loop=N" (any case) in the name, N the byte distance from the first block
// to the loop block, as the header counts it. In samples; 0 when the name has none.
int NamedLoopStart(const char *path, int size)
{
    const char *name = FIONamePart(path);
    for (const char *c = name; *c; ++c) {
        bool match = true;
        for (int i = 0; i < 5 && match; ++i)
            match = tolower(static_cast<unsigned char>(c[i])) == "loop="[i];
        if (!match || !isdigit(static_cast<unsigned char>(c[5])))
            continue;
        const long bytes = strtol(c + 5, nullptr, 10);
        if (bytes % kBlock == 0 && bytes < size)
            return static_cast<int>(bytes / kBlock) * snesbrr::kBlockSamples;
    }
    return 0;
}

// A raw .brr image whose end block carries the loop flag but whose loop block only the
// user knows: ask supplies it, and the image becomes the headered form. False when the
// image is not such a file, or the user cancelled (*cancelled).
bool AskRawLoop(std::vector<unsigned char> &image, const char *path, HWND owner, SPCMLoopAsk ask,
                bool *cancelled)
{
    snesbrr::BrrFile brr;
    size_t blocks = 0;
    if (parse_brr_file(image.data(), image.size(), brr) != snesbrr::Status::Ok || brr.headered ||
        snesbrr::count_blocks(brr.blocks, brr.size, blocks) != snesbrr::Status::Ok ||
        blocks * kBlock != brr.size || !snesbrr::parse_header(brr.blocks[brr.size - kBlock]).loop)
        return false;
    const int samples = static_cast<int>(blocks) * snesbrr::kBlockSamples;
    SPCMLoop loop = {samples, NamedLoopStart(path, static_cast<int>(brr.size)), samples, 0, 0, true};
    if (!ask(owner, &loop)) {
        *cancelled = true;
        return false;
    }
    image = snesbrr::make_headered(image, static_cast<size_t>(loop.start / snesbrr::kBlockSamples) *
                                              kBlock);
    return true;
}

int InsertBrrFile(int slot, const char *path, SPCMLoopAsk ask, HWND owner)
{
    int size = 0;
    unsigned char *file = FIOReadFile(path, kSPCMMaxFile, &size, owner);
    std::vector<unsigned char> image;
    if (file)
        image.assign(file, file + size);
    free(file);
    bool cancelled = false;
    if (ask && AskRawLoop(image, path, owner, ask, &cancelled))
        size = static_cast<int>(image.size());
    if (cancelled)
        return 1;
    static const unsigned char none = 0; // an empty file still has a place to point at
    const unsigned char *bytes = !file ? nullptr : image.empty() ? &none : image.data();
    return PlaceRead(slot, bytes, size, ask ? Form::Looped : Form::Any, "this .brr file");
}

// Cents by which a loop of length frames of a WAV file at rate Hz plays flat once the
// encoder, at encoded Hz, made it span the blocks from the loop block to the end of the
// headered image (the codec's tuning figure); 0 when the encoder kept the pitch.
double Detune(const unsigned char *file, int size, int length, int rate, uint32_t encoded)
{
    const size_t samples = static_cast<size_t>((size - kHeader - Get16(file)) / kBlock) *
                           snesbrr::kBlockSamples;
    return snesbrr::loop_cents_flat(static_cast<size_t>(length), static_cast<uint32_t>(rate),
                                    encoded, samples);
}

// A WAV file to encode: its shape, for sizing, and the rate (Hz) that the encoder takes
// by itself, the file's own but at most 32000 Hz, the sound chip's rate.
struct WavJob {
    const char *path;
    snesbrr::SoundShape shape;
    uint32_t rate;
    int asked; // the rate the run names (rate), or 0 when rate is the encoder's own choice
};

// Rate (Hz) that SPCMSetInsertRate asks for; 0 for the file's own.
int chosenRate = 0;

WavJob MakeJob(const char *path, int frames, int rate)
{
    WavJob job = {path, {}, 32000, 0};
    job.shape.frames = static_cast<size_t>(frames);
    job.shape.rate = static_cast<uint32_t>(rate);
    if (chosenRate) {
        job.asked = chosenRate;
        job.rate = static_cast<uint32_t>(chosenRate);
    } else if (rate > 0 && rate < 32000)
        job.rate = static_cast<uint32_t>(rate);
    return job;
}

// Runs the encoder on the job at rate Hz (0: the encoder's own choice); see BRREncode.
unsigned char *Encode(const WavJob &job, HWND owner, int rate, int *size)
{
    if (!job.shape.loops)
        return BRREncode(job.path, owner, size, rate);
    return BRREncodeLooped(job.path, static_cast<int>(job.shape.loop_start),
                           static_cast<int>(job.shape.loop_end), owner, size, rate);
}

// After an encoding that needs bytes bytes of the bank, more than are free: offers the
// highest lower rate at which the sound fits. The rate when the user takes it; 0 when
// not even the lowest rate fits, the file's shape is unknown, or the user declines.
uint32_t OfferRate(const WavJob &job, int bytes)
{
    if (job.shape.frames == 0 || job.shape.rate == 0)
        return 0;
    // A sample that plays once may get a lead-in block beyond its layout; a looped one
    // is sized exactly, and its header takes no room in the bank.
    const int64_t limit =
        job.shape.loops ? int64_t(freespace) + kHeader : int64_t(freespace) - kBlock;
    const uint32_t rate = limit < 0 ? 0
                                    : snesbrr::highest_fitting_rate(
                                          job.shape, static_cast<uint64_t>(limit), job.rate,
                                          snesbrr::kMinRate);
    if (rate == 0 || rate >= job.rate)
        return 0;
    const bool yes =
        FIOAsk("Insert",
               "This sample needs %X bytes at %u Hz, and %X bytes are free.\nEncode it at %u Hz "
               "so that it fits? It then plays at its recorded pitch at pitch %X.",
               static_cast<unsigned>(bytes), static_cast<unsigned>(job.rate),
               static_cast<unsigned>(freespace), static_cast<unsigned>(rate),
               static_cast<unsigned>(SPCMPitchFor(static_cast<int>(rate))));
    return yes ? rate : 0;
}

// Rate (Hz) at which the last inserted WAV file was encoded; 0 after a .brr file.
int insertedRate = 0;

// Encodes the job and places the result in the empty slot; an encoding too large for the
// free space is offered a lower rate first. *cents receives a loop's detune (see
// SPCMInsertLooped). Returns 0 when placed, 1 after a reported refusal.
int EncodeAndPlace(int slot, const WavJob &job, HWND owner, double *cents)
{
    const bool loops = job.shape.loops;
    int size = 0;
    unsigned char *file = Encode(job, owner, job.asked, &size);
    uint32_t rate = job.rate;
    // An empty sample would share its start with the next one inserted, and deleting it
    // would then move that sample's data away from under its slot.
    if (file && size == 0) {
        free(file);
        FIOError("The encoder made no sample data from this WAV file: it holds no sound.\n"
                 "Nothing was inserted.");
        return 1;
    }
    const int bytes = loops ? size - kHeader : size;
    if (size >= 0 && bytes > freespace && ValidSlot(slot) && SPCMFetchStart(slot) == 0) {
        free(file);
        rate = OfferRate(job, bytes);
        if (rate == 0) {
            TooLarge(bytes);
            return 1;
        }
        file = Encode(job, owner, static_cast<int>(rate), &size);
    }
    const int result =
        PlaceRead(slot, file, size, loops ? Form::Looped : Form::Raw, "the encoder's output");
    if (result == 0) {
        insertedRate = static_cast<int>(rate);
        if (loops)
            *cents = Detune(file, size, static_cast<int>(job.shape.loop_end - job.shape.loop_start),
                            static_cast<int>(job.shape.rate), rate);
    }
    free(file);
    return result;
}

int InsertWav(int slot, const char *path, HWND owner)
{
    // The shape is needed only to fit a sample that is too large; a file that the codec
    // cannot read is the encoder's to report.
    int frames = 0, rate = 0;
    if (!BRRWavShape(path, &frames, &rate))
        frames = 0;
    double cents = 0;
    return EncodeAndPlace(slot, MakeJob(path, frames, rate), owner, &cents);
}

int InsertLoopedWav(int slot, const char *path, HWND owner, SPCMLoopAsk ask, double *cents)
{
    int frames = 0, loopStart = -1, loopEnd = 0, rate = 32000;
    if (!BRRWavLoop(path, owner, &frames, &loopStart, &loopEnd, &rate))
        return 1;
    if (frames == 0) {
        FIOError("This WAV file holds no sound, so there is nothing to loop.\n"
                 "Nothing was inserted.");
        return 1;
    }
    if (loopStart < 0) {
        loopStart = 0;
        loopEnd = frames;
    }
    WavJob job = MakeJob(path, frames, rate);
    SPCMLoop loop = {frames, loopStart, loopEnd, rate, static_cast<int>(job.rate), false};
    if (!ask(owner, &loop))
        return 1;
    job.shape.loops = true;
    job.shape.loop_start = static_cast<uint64_t>(loop.start);
    job.shape.loop_end = static_cast<uint64_t>(loop.end);
    // A rate other than the encoder's own choice is named in the run.
    if (loop.rate != static_cast<int>(job.rate)) {
        job.asked = loop.rate;
        job.rate = static_cast<uint32_t>(loop.rate);
    }
    return EncodeAndPlace(slot, job, owner, cents);
}

// The sample file at path, or the one the user chooses when path is null.
int InsertFile(int slot, HWND owner, SPCMLoopAsk ask, double *cents, const char *path)
{
    if (!ValidSlot(slot) || SPCMFetchStart(slot) != 0)
        return 1;
    if (!path)
        path = FIOWavIn(owner);
    if (!path)
        return 1;
    insertedRate = 0;
    if (IsBrrName(path))
        return InsertBrrFile(slot, path, ask, owner);
    return ask ? InsertLoopedWav(slot, path, owner, ask, cents) : InsertWav(slot, path, owner);
}

} // namespace

int SPCMLoopOffset(int slot)
{
    const int start = SPCMFetchStart(slot);
    if (start == 0)
        return -1;
    const int played = PlayedSize(start, SPCMGetSampleSize(slot));
    const snesbrr::BlockHeader end =
        snesbrr::parse_header(played ? SPCMem[start - kImageBase + played - kBlock] : 0);
    const int offset = SPCMFetchLoop(slot) - start;
    const bool loops = end.end && end.loop;
    return loops && offset >= 0 && offset < played && offset % kBlock == 0 ? offset : -1;
}

int SPCMSampleFile(int slot, unsigned char *file)
{
    const int start = SPCMFetchStart(slot);
    if (start == 0)
        return 0;
    const int played = PlayedSize(start, SPCMGetSampleSize(slot));
    const int offset = SPCMLoopOffset(slot);
    const int header = offset < 0 ? 0 : kHeader;
    if (header)
        Put16(file, offset);
    memcpy(file + header, SPCMem + (start - kImageBase), static_cast<size_t>(played));
    return header + played;
}

int SPCMInsertSample(int slot, HWND owner)
{
    return InsertFile(slot, owner, nullptr, nullptr, nullptr);
}

int SPCMInsertSampleFile(int slot, const char *path, HWND owner)
{
    return InsertFile(slot, owner, nullptr, nullptr, path);
}

void SPCMSetInsertRate(int rate)
{
    chosenRate = rate;
}

int SPCMInsertedRate()
{
    return insertedRate;
}

const char *SPCMLoopRefusal(const SPCMLoop *loop, long long start, long long end)
{
    static char text[160];
    const int frames = loop->frames;
    if (start < 0 || end < 0)
        snprintf(text, sizeof text,
                 "Type the loop start and end as whole numbers of samples, 0 to %d.", frames);
    else if (start >= frames)
        snprintf(text, sizeof text, "The loop start must lie within the sound: 0 to %d.",
                 frames - 1);
    else if (loop->brr && start % snesbrr::kBlockSamples != 0)
        snprintf(text, sizeof text,
                 "A .brr file loops from the start of a block: type a multiple of 16, 0 to %d.",
                 frames - snesbrr::kBlockSamples);
    else if (end > frames)
        snprintf(text, sizeof text, "The loop end can be at most the sound's length, %d samples.",
                 frames);
    else if (end <= start)
        snprintf(text, sizeof text, "The loop end must come after the loop start.");
    else
        return nullptr;
    return text;
}

int SPCMPitchFor(int rate)
{
    return snesbrr::pitch_for_rate(rate);
}

int SPCMInsertLooped(int slot, HWND owner, SPCMLoopAsk ask, double *cents)
{
    *cents = 0;
    return InsertFile(slot, owner, ask, cents, nullptr);
}

int SPCMExportSample(int slot, HWND owner)
{
    if (SPCMFetchStart(slot) == 0)
        return 1;
    unsigned char *file = static_cast<unsigned char *>(malloc(kSPCMMaxFile));
    if (!file) {
        FIOError("There is not enough memory to export this sample.");
        return 1;
    }
    const int size = SPCMSampleFile(slot, file);
    char name[16];
    snprintf(name, sizeof name, "sample-%.2X", static_cast<unsigned>(slot));
    int wav = 0;
    const char *path = nullptr;
    if (size == 0)
        FIOError("Slot %s holds no whole BRR block, so there is nothing to export.", name + 7);
    else
        path = FIOExportOut(owner, name, &wav);
    int result = 1;
    if (path && !wav) {
        result = FIOWriteFile(path, file, size, owner);
    } else if (path) {
        int length = 0;
        unsigned char *pcm = BRRDecodeBlocks(file, size, owner, &length);
        if (pcm)
            result = FIOWriteFile(path, pcm, length, owner);
        free(pcm);
    }
    free(file);
    return result;
}

void SPCMDeleteSample(int slot)
{
    const int start = SPCMFetchStart(slot);
    if (start == 0)
        return;
    // Another slot may share these bytes: a game's directory can give one sample two
    // entries, and a bank saved with an empty sample has it at the start of the sample
    // inserted after it. Moving the bytes away would lose that slot's sound, so only
    // the entry goes.
    for (int i = 0; i < kSPCMSlots; ++i) {
        if (i != slot && SPCMFetchStart(i) == start) {
            memset(SPCMem + 4 * slot, 0, 4);
            return;
        }
    }
    const int next = NextStart(start);
    // Everything from the next sample up to the end of the data area moves down.
    memmove(SPCMem + (start - kImageBase), SPCMem + (next - kImageBase),
            static_cast<size_t>(kSPCMDataEnd - next));
    const int gap = next - start;
    for (int i = 0; i < kSPCMSlots; ++i) {
        unsigned char *entry = SPCMem + 4 * i;
        if (Get16(entry) > start) {
            Put16(entry, Get16(entry) - gap);
            Put16(entry + 2, Get16(entry + 2) - gap);
        }
    }
    memset(SPCMem + 4 * slot, 0, 4);
    freespace = static_cast<uint16_t>(freespace + gap);
}
