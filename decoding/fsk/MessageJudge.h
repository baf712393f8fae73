#pragma once

#include <string>
#include <vector>

#include "core/Bytes.h"
#include "protocol/Standards.h"

// The acceptance of a message read from a noisy signal, shared by every
// decoder that reads bits with soft decisions.
//
// A reading is accepted only when its framing holds, every structural rule of
// the message holds (type, lengths, checksum, contents), and no other reading
// that flips a few of its weakest bits passes as well while being nearly as
// likely. The last rule is what the additive checksum cannot give: two errors
// in the same bit of two bytes, one up and one down, cancel in it. Such errors
// sit among the weakest decisions, so the true reading is found among the
// alternatives and the message is withheld as uncertain instead of being
// reported wrongly. An alternative's cost is what its flipped bits cost plus
// how much less likely its content is a priori (MessagePriorCost): one that
// needs an unknown parameter code or a byte above 0x7F in a text is not
// nearly as likely as the reading, however weak the bits it flips.
namespace ringlark {

struct TSoftMessage {
    Bytes Message;
    // What reading each data bit the other way costs, as a log-likelihood
    // ratio (0: a tie; negative values count as 0), eight per byte, least
    // significant bit first.
    std::vector<float> DataCosts;
    // Every start bit read as a space and every stop bit as a mark.
    bool FramingHolds = false;
    // Whose message rules apply.
    TCidStandard Standard = TCidStandard::Bell202;
};

enum class TJudgement { Refused, Accepted, Uncertain };

struct TVerdict {
    TJudgement Judgement = TJudgement::Refused;
    std::string Reason;  // why it was refused or uncertain
    // The weakest data bit's cost over the mean cost, 0 to 1: how close the
    // weakest decision came to a tie.
    double Quality = 0;
    Bytes Alternative;           // the cheapest other reading that passes every rule, if any
    double AlternativeCost = 0;  // what it costs, in log-likelihood, its prior included
};

TVerdict JudgeMessage(const TSoftMessage& reading);

// How many of the weakest bits are tried in other combinations, and how many
// at once.
inline constexpr std::size_t JudgeWeakBits = 16;
inline constexpr int JudgeMaxFlips = 4;
// An alternative reading counts when it is at most e^9.2 (about 10^4) times
// less likely than the reading itself.
inline constexpr double JudgeMaxAlternativeCost = 9.2;
// Alternatives are looked for up to this cost, to tell how close the nearest is.
inline constexpr double JudgeSearchCost = 20;

}  // namespace ringlark
