#include "status.h"

namespace snesbrr {

const char *describe(Status status)
{
    switch (status) {
    case Status::Ok: return "no error";
    case Status::ReadFailed: return "cannot be read";
    case Status::WriteFailed: return "cannot be written";
    case Status::WriteIncomplete: return "could not be written in full";
    case Status::ReplaceFailed:
        return "could not be put in place, and an old file of that name is left as it was";
    case Status::FileTooLarge: return "is too large (more than 1 GiB)";
    case Status::NotRiffWave: return "is not a RIFF/WAVE file";
    case Status::MissingFmt: return "has no 'fmt ' chunk";
    case Status::MissingData: return "has no 'data' chunk";
    case Status::TruncatedFmt: return "has a cut-off 'fmt ' chunk";
    case Status::UnsupportedFormat: return "uses a sample format other than PCM or IEEE float";
    case Status::UnsupportedBits:
        return "has an unsupported bit depth (PCM 8/16/24/32, float 32/64)";
    case Status::BadChannels: return "has an invalid channel count (1 to 64 accepted)";
    case Status::BadSampleRate: return "has a sample rate of 0";
    case Status::BadBlockAlign: return "has a frame size too small for its channels";
    case Status::PartialBlock: return "ends inside a 9-byte BRR block";
    case Status::TooLong: return "is too long to encode (more than 2^24 samples)";
    case Status::NoSamples: return "holds no samples";
    case Status::NoLoop: return "has no loop (no 'smpl' chunk with a loop)";
    case Status::NotBrrSize:
        return "is not a BRR file (its size is neither a multiple of 9 nor 2 more)";
    case Status::LoopOffsetUneven: return "has a loop offset that is not a multiple of 9";
    case Status::LoopOffsetOutside: return "has a loop offset outside its blocks";
    case Status::NoBlocks: return "holds no BRR block";
    case Status::LoopTooFar:
        return "has its loop too far in for the 2-byte loop offset (more than 65535 bytes)";
    }
    return "has an unknown fault";
}

} // namespace snesbrr
