#pragma once

namespace snesbrr {

// Outcome of reading, parsing or writing a file. Everything but Ok names a
// fault of the input or of the file system, never of this program.
enum class Status {
    Ok,
    ReadFailed,        // the file could not be opened or read
    WriteFailed,       // the output could not be created
    WriteIncomplete,   // not every byte of the output reached the file system
    ReplaceFailed,     // the finished output could not be put in place of the old file
    FileTooLarge,      // larger than this program accepts (see diskio.h)
    NotRiffWave,       // no "RIFF....WAVE" signature
    MissingFmt,        // no usable "fmt " chunk
    MissingData,       // no "data" chunk
    TruncatedFmt,      // the "fmt " chunk is cut off by the end of the file
    UnsupportedFormat, // compressed or unknown sample encoding
    UnsupportedBits,   // a bit depth this format does not allow
    BadChannels,       // zero channels, or more than kMaxChannels
    BadSampleRate,     // sample rate of 0
    BadBlockAlign,     // frame size smaller than the channels' samples
    PartialBlock,      // BRR data ends inside a 9-byte block before any end flag
    TooLong,           // more samples than this program encodes (see convert.h)
    NoSamples,         // a WAV file whose data holds no whole frame
    NoLoop,            // a WAV file without a "smpl" loop, asked for its loop
    NotBrrSize,        // a size neither whole blocks nor a 2-byte header and whole blocks
    LoopOffsetUneven,  // a .brr header whose loop offset is not a multiple of 9
    LoopOffsetOutside, // a .brr header whose loop offset lies past the last block
    NoBlocks,          // a .brr file that holds not a single block
    LoopTooFar,        // a loop block further in than the 2-byte header can name
};

// One short lower-case phrase for an error message, e.g. "not a RIFF/WAVE file".
const char *describe(Status status);

} // namespace snesbrr
