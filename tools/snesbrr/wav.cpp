#include "wav.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

namespace snesbrr {

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

std::uint16_t le16(const std::uint8_t *p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t le32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool is_id(const std::uint8_t *p, const char *id)
{
    return std::memcmp(p, id, 4) == 0;
}

struct Format {
    std::uint16_t encoding = 0; // kFormatPcm or kFormatFloat
    int channels = 0;
    std::uint32_t sample_rate = 0;
    int bits = 0;          // container bits per sample
    std::size_t frame = 0; // bytes per frame
};

Status parse_fmt(const std::uint8_t *body, std::size_t size, Format &f)
{
    if (size < 16)
        return Status::TruncatedFmt;
    std::uint16_t tag = le16(body);
    const int channels = le16(body + 2);
    f.sample_rate = le32(body + 4);
    const std::size_t block_align = le16(body + 12);
    f.bits = le16(body + 14);
    if (tag == kFormatExtensible) {
        // cbSize 22: valid bits, channel mask, then the sub-format GUID whose
        // first two bytes are the plain format tag and the rest the fixed
        // KSDATAFORMAT suffix.
        static const std::uint8_t kGuidSuffix[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                     0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        if (size < 40)
            return Status::TruncatedFmt;
        if (le16(body + 16) < 22 || std::memcmp(body + 26, kGuidSuffix, 14) != 0)
            return Status::UnsupportedFormat;
        tag = le16(body + 24);
    }
    if (tag != kFormatPcm && tag != kFormatFloat)
        return Status::UnsupportedFormat;
    if (tag == kFormatPcm && f.bits != 8 && f.bits != 16 && f.bits != 24 && f.bits != 32)
        return Status::UnsupportedBits;
    if (tag == kFormatFloat && f.bits != 32 && f.bits != 64)
        return Status::UnsupportedBits;
    if (channels == 0 || channels > kMaxChannels)
        return Status::BadChannels;
    if (f.sample_rate == 0)
        return Status::BadSampleRate;
    const std::size_t needed =
        static_cast<std::size_t>(channels) * static_cast<std::size_t>(f.bits / 8);
    if (block_align < needed)
        return Status::BadBlockAlign;
    f.encoding = tag;
    f.channels = channels;
    f.frame = block_align;
    return Status::Ok;
}

// One stored sample in 16-bit units (full scale +-32768), not yet rounded.
double sample_value(const std::uint8_t *p, const Format &f)
{
    if (f.encoding == kFormatFloat) {
        if (f.bits == 32) {
            float v;
            const std::uint32_t bits = le32(p);
            std::memcpy(&v, &bits, 4);
            return std::isfinite(v) ? v * 32768.0 : 0.0;
        }
        double v;
        const std::uint64_t bits = le32(p) | static_cast<std::uint64_t>(le32(p + 4)) << 32;
        std::memcpy(&v, &bits, 8);
        return std::isfinite(v) ? v * 32768.0 : 0.0;
    }
    switch (f.bits) {
    case 8: return (p[0] - 128) * 256.0;
    case 16: return static_cast<std::int16_t>(le16(p));
    case 24: {
        const std::int32_t v = static_cast<std::int32_t>(p[0] << 8 | p[1] << 16 |
                                                         static_cast<std::uint32_t>(p[2]) << 24);
        return v / 65536.0;
    }
    default: return static_cast<std::int32_t>(le32(p)) / 65536.0;
    }
}

// The first loop of a "smpl" chunk body of `size` bytes, if it is whole there: a
// chunk that declares fewer bytes than its loop count needs is read as far as it goes.
void parse_smpl(const std::uint8_t *body, std::size_t size, MonoPcm &out)
{
    constexpr std::size_t kLoopsAt = 36;   // the fixed fields before the first loop
    constexpr std::size_t kLoopBytes = 24; // cue id, type, start, end, fraction, play count
    if (size < kLoopsAt + kLoopBytes || le32(body + 28) == 0)
        return;
    const std::uint8_t *loop = body + kLoopsAt;
    out.has_loop = true;
    out.loop_start = le32(loop + 8);
    out.loop_end = std::uint64_t{le32(loop + 12)} + 1; // stored as the last frame played
}

void put16(std::uint8_t *p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t *p, std::uint32_t v)
{
    put16(p, static_cast<std::uint16_t>(v));
    put16(p + 2, static_cast<std::uint16_t>(v >> 16));
}

} // namespace

Status read_wav(const std::uint8_t *data, std::size_t size, MonoPcm &out)
{
    out = MonoPcm{};
    if (size < 12 || !is_id(data, "RIFF") || !is_id(data + 8, "WAVE"))
        return Status::NotRiffWave;

    Format format;
    bool have_fmt = false;
    bool have_smpl = false;
    const std::uint8_t *samples = nullptr;
    std::size_t sample_bytes = 0;
    // The RIFF size is ignored: writers get it wrong, and the buffer's end is
    // the only bound that matters.
    // The walk goes on past "data": a "smpl" chunk may follow it.
    std::size_t pos = 12;
    while (size - pos >= 8) {
        const std::uint8_t *id = data + pos;
        const std::size_t claimed = le32(data + pos + 4);
        const std::size_t body = pos + 8;
        const std::size_t available = std::min(claimed, size - body);
        if (is_id(id, "fmt ") && !have_fmt) {
            const Status status = parse_fmt(data + body, available, format);
            if (status != Status::Ok)
                return status;
            have_fmt = true;
        } else if (is_id(id, "data") && !samples) {
            samples = data + body;
            sample_bytes = available;
        } else if (is_id(id, "smpl") && !have_smpl) {
            parse_smpl(data + body, available, out);
            have_smpl = true;
        }
        // Chunks are padded to even sizes; a claim past the end stops the walk.
        const std::size_t padded = available + (claimed & 1);
        if (available < claimed || padded >= size - body)
            break;
        pos = body + padded;
    }
    if (!have_fmt)
        return Status::MissingFmt;
    if (!samples)
        return Status::MissingData;

    const std::size_t frames = sample_bytes / format.frame;
    const std::size_t bytes_per_sample = static_cast<std::size_t>(format.bits / 8);
    out.sample_rate = format.sample_rate;
    out.samples.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const std::uint8_t *frame = samples + i * format.frame;
        double sum = 0;
        for (int c = 0; c < format.channels; ++c)
            sum += sample_value(frame + c * bytes_per_sample, format);
        const double mixed = std::nearbyint(sum / format.channels);
        out.samples[i] = static_cast<std::int16_t>(std::clamp(mixed, -32768.0, 32767.0));
    }
    return Status::Ok;
}

std::vector<std::uint8_t> write_wav(const std::int16_t *samples, std::size_t count,
                                    std::uint32_t sample_rate)
{
    const std::uint32_t data_bytes = static_cast<std::uint32_t>(count * 2);
    std::vector<std::uint8_t> out(44 + static_cast<std::size_t>(data_bytes));
    std::uint8_t *p = out.data();
    std::memcpy(p, "RIFF", 4);
    put32(p + 4, 36 + data_bytes);
    std::memcpy(p + 8, "WAVEfmt ", 8);
    put32(p + 16, 16);
    put16(p + 20, kFormatPcm);
    put16(p + 22, 1);
    put32(p + 24, sample_rate);
    put32(p + 28, sample_rate * 2);
    put16(p + 32, 2);
    put16(p + 34, 16);
    std::memcpy(p + 36, "data", 4);
    put32(p + 40, data_bytes);
    for (std::size_t i = 0; i < count; ++i)
        put16(p + 44 + 2 * i, static_cast<std::uint16_t>(samples[i]));
    return out;
}

std::vector<std::uint8_t> write_wav_looped(const std::int16_t *samples, std::size_t count,
                                           std::uint32_t sample_rate, std::uint32_t loop_start,
                                           std::uint32_t loop_end)
{
    assert(loop_start < loop_end && loop_end <= count);
    constexpr std::size_t kSmplBytes = 8 + 36 + 24;
    std::vector<std::uint8_t> out = write_wav(samples, count, sample_rate);
    const std::size_t at = out.size();
    out.resize(at + kSmplBytes, 0);
    std::uint8_t *p = out.data() + at;
    std::memcpy(p, "smpl", 4);
    put32(p + 4, kSmplBytes - 8);
    put32(p + 8 + 8, static_cast<std::uint32_t>(1000000000.0 / sample_rate + 0.5));
    put32(p + 8 + 12, 60); // unity note: middle C
    put32(p + 8 + 28, 1);  // one loop, forward (type 0), endless (play count 0)
    put32(p + 8 + 36 + 8, loop_start);
    put32(p + 8 + 36 + 12, loop_end - 1);
    put32(out.data() + 4, static_cast<std::uint32_t>(out.size() - 8));
    return out;
}

} // namespace snesbrr
