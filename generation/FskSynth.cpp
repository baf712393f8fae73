#include "generation/FskSynth.h"

#include <cmath>

namespace ringlark {

namespace {

double Advance(double phase, long double step) {
    return static_cast<double>(static_cast<long double>(phase) + step);
}

uint8_t LowByte(int64_t value) {
    return static_cast<uint8_t>(static_cast<uint64_t>(value) & 0xFF);
}

// Appends count bytes to the stream and returns a pointer to the first of them.
uint8_t* Extend(Bytes& stream, int count) {
    const std::size_t start = stream.size();
    stream.resize(start + static_cast<std::size_t>(count));
    return reinterpret_cast<uint8_t*>(stream.data() + start);
}

}  // namespace

int64_t TruncatedSine(double phase, int64_t amplitude) {
    // The double sine is within a few ulps of the extended one, so its truncation
    // agrees unless the product lies within that error of a non-zero integer;
    // only then is the slower extended sine needed to settle it.
    const double fast = std::sin(phase) * static_cast<double>(amplitude);
    const double nearest = std::nearbyint(fast);
    if (nearest != 0.0 && std::fabs(fast - nearest) <= std::fabs(fast) * 1e-12) {
        return static_cast<int64_t>(std::truncl(std::sin(static_cast<long double>(phase)) *
                                                static_cast<long double>(amplitude)));
    }
    return static_cast<int64_t>(std::trunc(fast));
}

uint8_t TFskSynth::ClippedSample(long double step) {
    const int64_t clip = Clip;
    int64_t b = LowByte(TruncatedSine(phase_, Amplitude) + 128);
    if (b > clip + 128) {
        b = LowByte(clip + 128);
    }
    if (128 - clip > b) {
        b = LowByte(128 - clip);
    }
    phase_ = Advance(phase_, step);
    return static_cast<uint8_t>(b);
}

uint8_t TFskSynth::UnclippedSample(long double step) {
    const uint8_t b = LowByte(TruncatedSine(phase_, Amplitude) + 128);
    phase_ = Advance(phase_, step);
    return b;
}

void TFskSynth::ClippedRun(Bytes& stream, int count, long double step) {
    if (count <= 0) {
        return;
    }
    uint8_t* out = Extend(stream, count);
    for (int i = 0; i < count; ++i) {
        out[i] = ClippedSample(step);
    }
}

void TFskSynth::SendBit(Bytes& stream, bool mark) {
    ++bitCounter_;
    const int samples = (static_cast<int32_t>(bitCounter_) % 4 == 0) ? 36 : 37;
    ClippedRun(stream, samples, mark ? MarkStep : SpaceStep);
}

void TFskSynth::SendByte(Bytes& stream, uint8_t byte) {
    SendBit(stream, false);
    for (int bit = 0; bit < 8; ++bit) {
        SendBit(stream, ((byte >> bit) & 1) != 0);
    }
    SendBit(stream, true);
}

void TFskSynth::SendBytes(Bytes& stream, const Bytes& bytes) {
    for (char c : bytes) {
        SendByte(stream, static_cast<uint8_t>(c));
    }
}

void TFskSynth::MarkRun(Bytes& stream, int count) {
    ClippedRun(stream, count, MarkStep);
}

void TFskSynth::Tone440(Bytes& stream) {
    uint8_t* out = Extend(stream, Tone440Samples);
    for (int i = 0; i < Tone440Samples; ++i) {
        out[i] = UnclippedSample(Tone440Step);
    }
}

void TFskSynth::DualTone(Bytes& stream) {
    const int64_t a2 = Amplitude <= DualToneAmplitudeLimit ? Amplitude : DualToneAmplitudeLimit;
    double p1 = 0.0;
    double p2 = 0.0;
    uint8_t* out = Extend(stream, DualToneSamples);
    for (int i = 0; i < DualToneSamples; ++i) {
        out[i] = LowByte(TruncatedSine(p1, a2) + 128 + TruncatedSine(p2, a2));
        p1 = Advance(p1, Dual2130Step);
        p2 = Advance(p2, Dual2750Step);
    }
}

void TFskSynth::Silence(Bytes& stream, double seconds) {
    const double exact = std::trunc(seconds * SampleRate);
    int samples = 0;  // NaN and negative durations give no samples
    if (exact > 0) {
        samples = exact >= MaxSilenceSamples ? MaxSilenceSamples : static_cast<int>(exact);
    }
    stream.append(static_cast<std::size_t>(samples), static_cast<char>(128));
}

}  // namespace ringlark
