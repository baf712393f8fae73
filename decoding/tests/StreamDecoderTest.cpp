#include "decoding/StreamDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "core/RinglarkError.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "generation/StandardsSynth.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

// Feeds samples in blocks of random sizes (1 to 4096) and finishes the stream.
std::vector<TStreamEvent> StreamDecode(const std::vector<float>& samples, double rate,
                                       uint32_t seed, TStreamDecoder* kept = nullptr) {
    TStreamDecoder local(rate);
    TStreamDecoder& decoder = kept != nullptr ? *kept : local;
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> size(1, 4096);
    std::vector<TStreamEvent> events;
    for (std::size_t at = 0; at < samples.size();) {
        const std::size_t n = std::min(size(random), samples.size() - at);
        decoder.Feed(std::span<const float>(samples.data() + at, n), events);
        at += n;
    }
    decoder.Finish(events);
    return events;
}

std::vector<TCorrMessage> Messages(const std::vector<TStreamEvent>& events) {
    std::vector<TCorrMessage> messages;
    for (const auto& e : events) {
        if (e.Kind == TStreamEvent::TKind::Message) {
            messages.push_back(e.Message);
        }
    }
    return messages;
}

// Three random MDMF messages at a rate, each after a pause, with noise.
std::vector<float> SeveralMessages(double rate, double snrDb, uint64_t seed,
                                   std::vector<Bytes>& sent, TFskSignal signal = {}) {
    std::vector<float> samples;
    signal.Rate = rate;
    for (uint64_t k = 0; k < 3; ++k) {
        samples.insert(samples.end(), static_cast<std::size_t>(rate * (0.3 + 0.2 * k)), 0.0f);
        sent.push_back(RandomMdmfMessage(seed * 10 + k));
        const auto burst = SynthesiseFsk(sent.back(), signal);
        samples.insert(samples.end(), burst.begin(), burst.end());
    }
    samples.insert(samples.end(), static_cast<std::size_t>(rate * 0.2), 0.0f);
    return AddNoise(samples, snrDb, 0, seed);
}

TEST(StreamDecoder, BlocksOfAnySizeGiveTheFileDecodersMessagesAtEveryRate) {
    for (double rate : {8000.0, 11025.0, 22050.0, 44100.0, 48000.0}) {
        for (uint64_t seed = 1; seed <= 3; ++seed) {
            std::vector<Bytes> sent;
            const auto samples = SeveralMessages(rate, 12.0, seed, sent);
            const auto file = TCorrelationDecoder().Decode(samples, rate);
            const auto stream = Messages(StreamDecode(samples, rate, static_cast<uint32_t>(seed)));
            ASSERT_EQ(file.size(), sent.size()) << rate << " " << seed;
            ASSERT_EQ(stream.size(), file.size()) << rate << " " << seed;
            for (std::size_t i = 0; i < file.size(); ++i) {
                EXPECT_EQ(stream[i].Message, file[i].Message) << rate << " " << seed;
                EXPECT_EQ(stream[i].Message, sent[i]);
                EXPECT_NEAR(stream[i].Seconds, file[i].Seconds, 1.0 / 1200) << rate;
                EXPECT_EQ(stream[i].Frames, file[i].Frames);
            }
        }
    }
}

// Call waiting with the transmitter's clock 1 % slow, in noise (2 dB over
// the whole stream, pauses included): the messages whose
// reading at the nominal clock does not pass are read again at the clock
// their own changes of tone show, which a stream measures only once the
// whole message has arrived.
TEST(StreamDecoder, AClockMeasuredFromTheMessageGivesTheFileDecodersMessages) {
    TFskSignal callWaiting;
    callWaiting.SeizureBits = 0;
    callWaiting.MarkBits = 84;
    callWaiting.BaudFactor = 0.99;
    int found = 0;
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        std::vector<Bytes> sent;
        const auto samples = SeveralMessages(8000, 2.0, seed, sent, callWaiting);
        TCorrelationDecoder decoder;
        decoder.IncludeUncertain = true;
        const auto file = decoder.Decode(samples, 8000);
        TStreamDecoder kept(8000);
        const auto stream =
            Messages(StreamDecode(samples, 8000, static_cast<uint32_t>(seed), &kept));
        std::vector<Bytes> certain;
        for (const auto& m : file) {
            if (!m.Uncertain) {
                certain.push_back(m.Message);
            }
        }
        ASSERT_EQ(stream.size(), certain.size()) << seed;
        for (std::size_t i = 0; i < stream.size(); ++i) {
            EXPECT_EQ(stream[i].Message, certain[i]) << seed;
            found += std::count(sent.begin(), sent.end(), certain[i]) > 0 ? 1 : 0;
        }
    }
    EXPECT_GE(found, 14) << "of 18 (at the nominal clock, 10)";
}

TEST(StreamDecoder, SearchingSeldomFindsTheSameEventsAsSearchingOften) {
    // A recording read from a file is searched every 2048 working samples:
    // the messages, DTMF digits and alert tones must be those a live stream
    // searched every 64 gives, event by event.
    for (double rate : {8000.0, 44100.0}) {
        std::vector<Bytes> sent;
        auto samples = SeveralMessages(rate, 14.0, 4, sent);
        const bool withDtmf = rate == 44100;  // the DTMF images are made at 44100/s
        if (withDtmf) {
            const auto dtmf = ImageSampleValues(SynthesiseDtmfImage("A5551234C", 63));
            samples.insert(samples.end(), dtmf.begin(), dtmf.end());
        }
        samples.resize(samples.size() + static_cast<std::size_t>(rate / 5), 0.0f);
        const auto events = [&](std::size_t every) {
            TStreamDecoder decoder(rate, true);
            decoder.SearchEvery(every);
            std::vector<TStreamEvent> found;
            for (std::size_t at = 0; at < samples.size(); at += 16384) {
                const std::size_t n = std::min<std::size_t>(16384, samples.size() - at);
                decoder.Feed(std::span<const float>(samples.data() + at, n), found);
            }
            decoder.Finish(found);
            return found;
        };
        const auto often = events(TStreamDecoder::DefaultSearchEvery);
        const auto seldom = events(2048);
        ASSERT_EQ(Messages(often).size(), 3u) << rate;
        ASSERT_EQ(seldom.size(), often.size()) << rate;
        for (std::size_t i = 0; i < often.size(); ++i) {
            EXPECT_EQ(seldom[i].Kind, often[i].Kind) << rate << " " << i;
            EXPECT_EQ(seldom[i].Seconds(), often[i].Seconds()) << rate << " " << i;
            EXPECT_EQ(seldom[i].Message.Message, often[i].Message.Message);
            EXPECT_EQ(seldom[i].Dtmf.Digits, often[i].Dtmf.Digits);
        }
        if (withDtmf) {
            EXPECT_EQ(often.back().Kind, TStreamEvent::TKind::Dtmf);
            EXPECT_EQ(often.back().Dtmf.Digits, "A5551234C");
        }
    }
}

TEST(StreamDecoder, LeavesOutTheStandardsItIsNotAskedFor) {
    const double rate = 44100;
    TFskSignal bell;
    bell.Rate = rate;
    TFskSignal v23 = bell;
    v23.MarkHz = V23MarkHz;
    v23.SpaceHz = V23SpaceHz;
    const Bytes message = RandomMdmfMessage(12);
    std::vector<float> samples(static_cast<std::size_t>(rate / 4), 0.0f);
    for (const auto& signal : {bell, v23}) {
        const auto burst = SynthesiseFsk(message, signal);
        samples.insert(samples.end(), burst.begin(), burst.end());
        samples.resize(samples.size() + static_cast<std::size_t>(rate / 2), 0.0f);
    }
    const auto dtmf = ImageSampleValues(SynthesiseDtmfImage("A123C", 63));
    samples.insert(samples.end(), dtmf.begin(), dtmf.end());
    samples.resize(samples.size() + static_cast<std::size_t>(rate / 5), 0.0f);
    const auto kinds = [&](TStreamParts parts) {
        TStreamDecoder decoder(rate, false, false, parts);
        std::vector<TStreamEvent> events;
        decoder.Feed(std::span<const float>(samples), events);
        decoder.Finish(events);
        std::string kinds;
        for (const auto& e : events) {
            kinds += e.Kind == TStreamEvent::TKind::Dtmf           ? "D"
                     : e.Kind != TStreamEvent::TKind::Message      ? "T"
                     : e.Message.Standard == TCidStandard::Bell202 ? "B"
                                                                   : "V";
        }
        return kinds;
    };
    EXPECT_EQ(kinds({}), "BVD");
    EXPECT_EQ(kinds({true, false, false, false}), "B");
    EXPECT_EQ(kinds({false, true, false, false}), "V");
    EXPECT_EQ(kinds({false, false, false, true}), "D");
}

TEST(StreamDecoder, AMessageEndingTheStreamIsReadAtItsEnd) {
    TFskSignal signal;
    signal.Rate = 11025;
    const Bytes message = RandomMdmfMessage(77);
    const auto samples = SynthesiseFsk(message, signal);
    const auto file = TCorrelationDecoder().Decode(samples, 11025);
    const auto stream = Messages(StreamDecode(samples, 11025, 5));
    ASSERT_EQ(file.size(), 1u);
    ASSERT_EQ(stream.size(), 1u);
    EXPECT_EQ(stream[0].Message, message);
}

TEST(StreamDecoder, EachMessageIsReportedSoonAfterItsLastBit) {
    TFskSignal signal;
    signal.Rate = 44100;
    const Bytes message = RandomMdmfMessage(3);
    auto samples = SynthesiseFsk(message, signal);
    const std::size_t end = samples.size();
    samples.resize(end + 44100, 0.0f);
    TStreamDecoder decoder(44100);
    std::vector<TStreamEvent> events;
    std::size_t at = 0;
    for (; at < samples.size() && events.empty(); at += 441) {
        decoder.Feed(std::span<const float>(samples.data() + at, 441), events);
    }
    ASSERT_EQ(Messages(events).size(), 1u);
    // reported within 50 ms of the end of the stop bit of the last byte
    EXPECT_LE(static_cast<double>(at) - static_cast<double>(end), 0.050 * 44100);
}

TEST(StreamDecoder, HoldsNoMoreForALongStreamThanForAShortOne) {
    // Noise with a message now and then: what is held depends on one message.
    const double rate = 8000;
    TFskSignal signal;
    signal.Rate = rate;
    std::vector<float> minute;
    for (int k = 0; k < 4; ++k) {
        minute.insert(minute.end(), static_cast<std::size_t>(rate * 14), 0.0f);
        const auto burst = SynthesiseFsk(RandomMdmfMessage(k + 1), signal);
        minute.insert(minute.end(), burst.begin(), burst.end());
    }
    minute = AddNoise(minute, 15.0, 0, 9);
    TStreamDecoder decoder(rate);
    std::vector<TStreamEvent> events;
    decoder.Feed(std::span<const float>(minute), events);
    const std::size_t afterOne = decoder.MostHeld();
    for (int m = 0; m < 9; ++m) {
        decoder.Feed(std::span<const float>(minute), events);
    }
    decoder.Finish(events);
    EXPECT_EQ(Messages(events).size(), 40u);
    EXPECT_EQ(decoder.MostHeld(), afterOne);
    // a seizure, a mark run and one long message at the working rate
    EXPECT_LT(afterOne, 40000u);
}

TEST(StreamDecoder, SixteenAndEightBitInputDecodeAsTheirFloats) {
    TFskSynth synth;
    const Bytes image = SynthesiseImage(synth, RandomMdmfMessage(5), TSignalling::OnHook);
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(image.data()) + 44,
                                         image.size() - 44);
    std::vector<int16_t> words;
    for (uint8_t b : bytes) {
        words.push_back(static_cast<int16_t>((b - 128) * 256));
    }
    const auto expected = TCorrelationDecoder().DecodeImage(image);
    ASSERT_EQ(expected.size(), 1u);
    for (int form = 0; form < 2; ++form) {
        TStreamDecoder decoder(44100);
        std::vector<TStreamEvent> events;
        if (form == 0) {
            decoder.Feed(bytes, events);
        } else {
            decoder.Feed(std::span<const int16_t>(words), events);
        }
        decoder.Finish(events);
        const auto messages = Messages(events);
        ASSERT_EQ(messages.size(), 1u) << form;
        EXPECT_EQ(messages[0].Message, expected[0].Message);
        EXPECT_DOUBLE_EQ(messages[0].Seconds, expected[0].Seconds);
        EXPECT_EQ(decoder.SamplesFed(), bytes.size());
    }
}

// Everything a stream decoder that also reports refused readings gives.
std::vector<TStreamEvent> WithRefused(const std::vector<float>& samples, double rate) {
    TStreamDecoder decoder(rate, false, true);
    std::vector<TStreamEvent> events;
    for (std::size_t at = 0; at < samples.size(); at += 960) {
        const std::size_t n = std::min<std::size_t>(960, samples.size() - at);
        decoder.Feed(std::span<const float>(samples.data() + at, n), events);
    }
    decoder.Finish(events);
    return events;
}

TEST(StreamDecoder, AMessageReadWholeButRefusedComesMarkedOnlyWhenAskedFor) {
    for (double rate : {8000.0, 44100.0}) {
        std::vector<Bytes> sent;
        std::vector<float> samples = SeveralMessages(rate, 60, 7, sent);
        // The second message's checksum is spoilt before it is sent.
        Bytes spoilt = sent[1];
        spoilt.back() = static_cast<char>(spoilt.back() ^ 0x5A);
        std::vector<float> bad;
        TFskSignal signal;
        signal.Rate = rate;
        for (std::size_t k = 0; k < sent.size(); ++k) {
            bad.insert(bad.end(), static_cast<std::size_t>(rate * 0.3), 0.0f);
            const auto burst = SynthesiseFsk(k == 1 ? spoilt : sent[k], signal);
            bad.insert(bad.end(), burst.begin(), burst.end());
        }
        bad.insert(bad.end(), static_cast<std::size_t>(rate * 0.2), 0.0f);
        bad = AddNoise(bad, 30, 0, 3);

        const auto plain = Messages(StreamDecode(bad, rate, 1));
        ASSERT_EQ(plain.size(), 2u) << rate;
        EXPECT_EQ(plain[0].Message, sent[0]);
        EXPECT_EQ(plain[1].Message, sent[2]);

        const auto all = Messages(WithRefused(bad, rate));
        ASSERT_EQ(all.size(), 3u) << rate;
        EXPECT_FALSE(all[0].Failed);
        EXPECT_TRUE(all[1].Failed);
        EXPECT_EQ(all[1].Message, spoilt);
        EXPECT_EQ(all[1].Failure, "checksum fails");
        EXPECT_EQ(all[1].Frames.size(), spoilt.size());
        EXPECT_FALSE(all[2].Failed);
        EXPECT_EQ(all[2].Message, sent[2]);
        EXPECT_LT(all[0].Seconds, all[1].Seconds);
        EXPECT_LT(all[1].Seconds, all[2].Seconds);
    }
}

TEST(StreamDecoder, NoiseAndSpeechGiveNoRefusedReading) {
    int refused = 0;
    for (uint64_t seed = 1; seed <= 2; ++seed) {
        for (double rate : {8000.0, 22050.0}) {
            const std::vector<float> speech = AddNoise(SpeechLike(rate, seed, 12), 10, 0, seed);
            std::vector<float> noise(static_cast<std::size_t>(rate * 12), 0.0f);
            noise = AddNoiseAtPower(noise, 0.01, 0, 0, seed);
            const std::vector<float>& quiet = noise;
            for (const std::vector<float>* samples : {&speech, &quiet}) {
                for (const auto& e : WithRefused(*samples, rate)) {
                    refused += e.Kind == TStreamEvent::TKind::Message ? 1 : 0;
                }
            }
        }
    }
    EXPECT_EQ(refused, 0);
}

TEST(StreamDecoder, RefusesRatesItCannotDecode) {
    EXPECT_EQ(test::ErrorOf([] { TStreamDecoder(4000); }),
              "Sample rate 4000 is outside 8000 to 192000");
    EXPECT_EQ(test::ErrorOf([] { TStreamDecoder(192001); }),
              "Sample rate 192001 is outside 8000 to 192000");
    EXPECT_EQ(test::ErrorOf([] { TStreamDecoder(std::nan("")); }),
              "Sample rate nan is outside 8000 to 192000");
}

}  // namespace
}  // namespace ringlark
