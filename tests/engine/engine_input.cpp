#include "engine_input.h"

#include "files.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "FileIO.h"
#include "SPCM.h"
#include "addr.h"
#include "doubles.h"
#include "stockrom.h"

namespace {

constexpr int kBankSize = 0x8000;
constexpr int kDataStart = 0x8100, kDataEnd = 0xFFE2, kDataSize = 0x7EE2;
constexpr int kHooks[3] = {0xFE, 0x103, 0x108}; // from ROM byte 0
constexpr char kMarker[] = "qelvarin";

struct Input {
    const uint8_t *at;
    size_t left;

    bool Empty() const { return left == 0; }
    unsigned Byte()
    {
        if (!left)
            return 0;
        --left;
        return *at++;
    }
    unsigned Word()
    {
        const unsigned low = Byte();
        return low | Byte() << 8;
    }
};

void Put16(std::vector<uint8_t> &rom, int64_t at, unsigned value)
{
    if (at >= 0 && at + 2 <= int64_t(rom.size())) {
        rom[size_t(at)] = uint8_t(value);
        rom[size_t(at) + 1] = uint8_t(value >> 8);
    }
}

// True when after holds before's bytes outside the 32 KiB bank at offset bank, and at
// the hook bytes of a ROM with that copier header unless hooksMayChange.
bool SameOutside(const std::vector<uint8_t> &before, const uint8_t *after, int64_t bank, int header,
                 bool hooksMayChange)
{
    static std::vector<uint8_t> expected; // kept: the fuzzer runs many inputs of 1 MiB
    expected.assign(before.begin(), before.end());
    if (bank >= 0 && bank + kBankSize <= int64_t(expected.size()))
        memcpy(&expected[size_t(bank)], after + bank, kBankSize);
    for (int hook : kHooks)
        expected[size_t(header + hook)] = (hooksMayChange ? after : before.data())[header + hook];
    return memcmp(expected.data(), after, expected.size()) == 0;
}

// One slot as the engine shows it, with the bytes of its sample.
struct Slot {
    int start, loop, size;
    std::vector<uint8_t> bytes;
};

std::vector<Slot> Slots()
{
    std::vector<Slot> slots(64);
    for (int i = 0; i < 64; ++i) {
        Slot &s = slots[size_t(i)];
        s.start = SPCMFetchStart(i);
        s.loop = SPCMFetchLoop(i);
        s.size = SPCMGetSampleSize(i);
        if (s.start && s.start + s.size <= 0x10000) {
            const uint8_t *from = SPCMGetSPCPtr() + (s.start - 0x8000);
            s.bytes.assign(from, from + s.size);
        }
    }
    return slots;
}

int FreeStart()
{
    return kDataEnd - SPCMGetFree();
}

// The bounds every loaded bank keeps, whatever was done to it.
std::string Bounds()
{
    if (SPCMGetFree() > kDataSize)
        return "counter above 7EE2";
    std::set<int> starts;
    for (int i = 0; i < 64; ++i) {
        const int start = SPCMFetchStart(i);
        if (start && (start < kDataStart || start > FreeStart()))
            return "start outside 8100 to the free-area start, slot " + std::to_string(i);
        if (start)
            starts.insert(start);
    }
    // The distinct samples, the free space and the gap below the lowest start account
    // for the whole sample area.
    int total = SPCMGetFree() + ((starts.empty() ? FreeStart() : *starts.begin()) - kDataStart);
    for (int start : starts)
        for (int i = 0; i < 64; ++i)
            if (SPCMFetchStart(i) == start) {
                total += SPCMGetSampleSize(i);
                break;
            }
    return total == kDataSize ? "" : "the sample area is not accounted for";
}

bool Same(const Slot &a, const Slot &b)
{
    return a.start == b.start && a.loop == b.loop && a.size == b.size && a.bytes == b.bytes;
}

// True when the bank shows the slots and free space it showed before.
bool Unchanged(const std::vector<Slot> &before, int room)
{
    const std::vector<Slot> after = Slots();
    for (size_t i = 0; i < 64; ++i)
        if (!Same(before[i], after[i]))
            return false;
    return SPCMGetFree() == room;
}

std::string Insert(Input &in, int step)
{
    const int slot = int(in.Byte() & 63);
    const unsigned result = in.Byte();
    const unsigned length = in.Word();
    doubles::errors.clear();
    doubles::wavChosen = result != 0;
    doubles::encodeFails = result == 1;
    // From one byte: the encoder never writes an empty temp.brr (it refuses a WAV file
    // without samples), and Insert's refusal of one has a test of its own. Output of
    // whole blocks is a sample; a broken encoder's (result 2) is cut anywhere.
    const unsigned bytes = 1 + length % unsigned(SPCMGetFree() + 2);
    doubles::encoded = files::Sample(result == 2 ? bytes : (bytes + 8) / 9 * 9, uint8_t(step));
    const std::vector<Slot> before = Slots();
    const int freeStart = FreeStart(), room = SPCMGetFree();
    if (SPCMInsertSample(slot, nullptr) != 0) {
        if (doubles::errors.size() > 1)
            return "an insert reported more than one refusal";
        return Unchanged(before, room) ? "" : "a refused insert changed the bank";
    }
    const Slot got = Slots()[size_t(slot)];
    if (before[size_t(slot)].start != 0 || got.start != freeStart || got.loop != freeStart ||
        got.bytes != doubles::encoded || SPCMGetFree() != room - int(doubles::encoded.size()))
        return "the sample did not land at the bottom of the free area";
    const std::vector<Slot> after = Slots();
    for (size_t i = 0; i < 64; ++i)
        if (int(i) != slot && before[i].start != freeStart && !Same(before[i], after[i]))
            return "an insert changed slot " + std::to_string(i);
    return "";
}

std::string Delete(Input &in)
{
    const int slot = int(in.Byte() & 63);
    const std::vector<Slot> before = Slots();
    const int start = before[size_t(slot)].start, gap = before[size_t(slot)].size;
    const int room = SPCMGetFree();
    SPCMDeleteSample(slot);
    if (start == 0)
        return Unchanged(before, room) ? "" : "deleting an empty slot changed the bank";
    const std::vector<Slot> after = Slots();
    bool shared = false;
    for (size_t i = 0; i < 64; ++i)
        shared = shared || (int(i) != slot && before[i].start == start);
    if (after[size_t(slot)].start != 0 || SPCMGetFree() != room + (shared ? 0 : gap))
        return shared ? "a delete gave back bytes that another slot still uses"
                      : "the deleted sample's bytes were not given back";
    // Samples below keep everything; samples above move down whole, and none moves
    // while another slot still starts at the deleted one's bytes.
    for (size_t i = 0; i < 64; ++i) {
        const Slot &b = before[i], &a = after[i];
        if (int(i) == slot || b.start == 0)
            continue;
        const bool moved = !shared && b.start > start;
        if (a.start != b.start - (moved ? gap : 0) || a.bytes != b.bytes)
            return "a delete damaged slot " + std::to_string(i);
    }
    return "";
}

// Save writes the bank and nothing else (the hooks lie outside it), and the saved bank
// reads back as it was. loaded is the image that the bank was read from.
std::string Save(const std::vector<uint8_t> &loaded, int64_t bank)
{
    const std::vector<Slot> before = Slots();
    const int room = SPCMGetFree();
    if (SPCMSave() != 0)
        return "save of a loaded bank failed";
    const std::vector<uint8_t> &saved = doubles::saved;
    if (saved.size() != loaded.size())
        return "save changed the size of the file";
    if (!SameOutside(loaded, saved.data(), bank, int(AddrHeaderSize(int64_t(saved.size()))), false))
        return "save changed a byte outside the bank, or the hooks";
    if (SPCMReadIn() != 1)
        return "the saved bank does not read back";
    return Unchanged(before, room) ? "" : "the saved bank reads back different";
}

} // namespace

std::string RunEngineInput(const uint8_t *data, size_t size)
{
    Input in{data, size};
    const unsigned shape = in.Byte();
    const int banks = 16 + int(shape >> 3 & 7);
    const int kind = int(shape & 3);
    const int header = kind == 2 ? 0 : 0x200;
    const size_t romSize =
        size_t(banks) * kBankSize + size_t(header) + (kind == 3 ? 1 + in.Byte() : 0);
    if (int(AddrHeaderSize(int64_t(romSize))) != header)
        return "the header of a file of this size was misjudged";
    // Kept between runs: fresh megabytes for every input would slow the fuzzer tenfold.
    static std::vector<uint8_t> rom, image;
    // Made once: a loop over every byte of every input would be most of the fuzzer's work.
    static const std::vector<uint8_t> noise = [] {
        std::vector<uint8_t> bytes(0x200000);
        uint32_t state = 0x9E3779B9u;
        for (uint8_t &byte : bytes) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            byte = uint8_t(state >> 24);
        }
        return bytes;
    }();
    const size_t from = 0x1001 * size_t(in.Byte());
    rom.assign(noise.begin() + ptrdiff_t(from), noise.begin() + ptrdiff_t(from + romSize));
    // The stock directory where the game keeps it, so that a placed bank can be read.
    for (size_t i = 0; i < stockrom::Directory().size(); ++i) {
        Put16(rom, header + 0x78004 + 4 * int(i), stockrom::Directory()[i].start);
        Put16(rom, header + 0x78006 + 4 * int(i), stockrom::Directory()[i].loop);
    }
    doubles::Load(rom);

    const unsigned setup = in.Byte();
    int64_t bank = -1; // where the patches go
    if (setup & 1) {
        int offset = 0;
        if (setup & 2) {
            const unsigned low = in.Word(), high = in.Word();
            offset = int(low | high << 16);
        } else {
            offset = header + int(in.Byte()) * kBankSize;
        }
        // The placement dialog asks with this count: one exactly where the placement is
        // accepted, and no report of its own.
        const int counted = SPCMBankData(offset);
        const bool built = SPCMSetupROM(offset) == 1;
        if ((counted >= 0) != built || counted > kBankSize)
            return "the bank's data count disagrees with the placement";
        if (built) {
            const int k = (offset - header) / kBankSize;
            if ((offset - header) % kBankSize || k < 1 || k > 255 ||
                offset + kBankSize > int64_t(romSize))
                return "a placement that is no usable bank start was built";
            if (!SameOutside(rom, ROMMem, offset, header, true))
                return "a placement changed a byte outside the bank and the hooks";
            bank = offset;
        } else if (doubles::errors.size() != 1 || !std::equal(rom.begin(), rom.end(), ROMMem)) {
            return "a refused placement changed the image or was not reported once";
        }
    }
    image.assign(ROMMem, ROMMem + romSize);
    if (bank < 0) {
        bank = header + int64_t(in.Byte()) * kBankSize;
        const uint32_t pointer = AddrPCLOROM(uint32_t(bank + 8), uint32_t(header));
        // An empty bank, for the patches to damage.
        if (bank + kBankSize <= int64_t(romSize)) {
            memset(&image[size_t(bank + 0x0C)], 0, 0x100);
            Put16(image, bank + 0x7FF6, kDataSize);
            if (!(setup & 16))
                memcpy(&image[size_t(bank + 0x7FF8)], kMarker, 8);
        }
        for (int i = 0; i < 3; ++i)
            image[size_t(header + kHooks[i])] = uint8_t(pointer >> (8 * i));
    }
    if (setup & 4)
        for (int i = 0; i < 3; ++i)
            image[size_t(header + kHooks[i])] = uint8_t(in.Byte());
    if (setup & 8)
        Put16(image, bank + 0x7FF6, in.Word());
    for (int n = int(setup >> 5); n > 0; --n) {
        const int slot = int(in.Byte() & 63);
        const unsigned selector = in.Byte(), value = in.Word();
        const unsigned start = selector % 4 == 0   ? 0
                               : selector % 4 == 1 ? kDataStart + value % (kDataSize + 1)
                               : selector % 4 == 2 ? 0x80F0 + value % 0x20
                                                   : value;
        Put16(image, bank + 0x0C + 4 * slot, start);
        Put16(image, bank + 0x0E + 4 * slot, in.Word());
    }
    doubles::Load(image);

    if (SPCMReadIn() != 1) {
        if (doubles::errors.size() != 1 || SPCMGetSPCPtr() != nullptr || SPCMSave() != 1 ||
            !std::equal(image.begin(), image.end(), ROMMem))
            return "a refused bank was not reported once, or stayed loaded";
        return "";
    }
    // The bank read is the one the hooks lead to; it must keep clear of the hooks and
    // end with the marker, or Save could not write it back safely.
    const uint32_t pointer = image[size_t(header + kHooks[0])] |
                             image[size_t(header + kHooks[1])] << 8 |
                             image[size_t(header + kHooks[2])] << 16;
    const int64_t read = int64_t(AddrLOROMPC(pointer, uint32_t(header))) - 8;
    if ((pointer & 0xFFFF) < 0x8000 || read < 0 || read + kBankSize > int64_t(romSize) ||
        read <= header + kHooks[2] || memcmp(&image[size_t(read + 0x7FF8)], kMarker, 8) != 0)
        return "a bank that cannot be saved was read in";
    std::string broken = Bounds();
    for (int step = 0; broken.empty() && step < 64 && !in.Empty(); ++step) {
        const unsigned op = in.Byte() % 8;
        broken = op < 4 ? Insert(in, step) : op < 6 ? Delete(in) : Save(image, read);
        if (broken.empty())
            broken = Bounds();
        if (!broken.empty())
            broken = "step " + std::to_string(step) + ": " + broken;
    }
    return broken;
}
