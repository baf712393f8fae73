#pragma once

// Every FSK caller-ID burst in a recording read as far as it goes, whether or
// not its checksum and structure hold: what was read and where it broke. The
// decoders return only messages that pass every rule; a diagnosis also needs
// the ones that do not, and the levels of each.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "protocol/Standards.h"

namespace ringlark {

struct TFskReading {
    TCidStandard Standard = TCidStandard::Bell202;  // Bell202 or EtsiV23 (the tones)
    double BurstSeconds = 0;  // the first sound of the burst (seizure or mark run)
    double Seconds = 0;       // the first start bit
    double EndSeconds = 0;    // the end of the last byte read
    int SeizureBits = 0, MarkBits = 0;
    Bytes Message;                    // every byte read, in order
    std::vector<std::string> Frames;  // each byte's ten bits, start bit first
    // Where it broke: empty when the message holds; else the first fault,
    // e.g. "checksum 0x3A, the bytes ask for 0x4C".
    std::string Broke;
    bool ChecksumGood = false;   // the checksum over type, length and body adds up
    bool StructureGood = false;  // ... and every rule of the message's structure holds
    bool Complete = false;       // every byte the length byte asks for was read
    // Each tone's level (dBFS: a full-scale sine is 0), twist (mark minus
    // space, dB) and signal over noise (300-3400 Hz) when there was quiet
    // beside the burst.
    double MarkDbfs = 0, SpaceDbfs = 0, TwistDb = 0;
    std::optional<double> SnrDb;
};

// The bursts of both FSK families (Bell 202: 1200/2200 Hz, V.23: 1300/2100
// Hz), in time order: each one a steady mark run of 20 bits or more (of the
// family's own mark tone) followed by characters.
std::vector<TFskReading> ReadFskBursts(std::span<const float> samples, double rate);

// "80 1E 01 08 ..." (upper-case hex, one space between bytes).
std::string HexBytes(const Bytes& bytes);

}  // namespace ringlark
