#include "decoding/fsk/MessageJudge.h"

#include <algorithm>
#include <numeric>

#include "protocol/MessageRules.h"

namespace ringlark {

namespace {

struct TWeakBit {
    std::size_t Index;  // byte * 8 + bit
    double Cost;
};

// The data bits costing less than `below`, cheapest first, at most `most`.
std::vector<TWeakBit> WeakBits(const std::vector<float>& costs, double below, std::size_t most) {
    std::vector<TWeakBit> weak;
    for (std::size_t i = 0; i < costs.size(); ++i) {
        const double cost = std::max(0.0f, costs[i]);
        if (cost < below) {
            weak.push_back({i, cost});
        }
    }
    std::sort(weak.begin(), weak.end(),
              [](const TWeakBit& a, const TWeakBit& b) { return a.Cost < b.Cost; });
    if (weak.size() > most) {
        weak.resize(most);
    }
    return weak;
}

// Searches the combinations of 2 to JudgeMaxFlips weak bits for the cheapest
// other reading that passes every rule, cheapest first with the search cut
// off at the best cost found so far. A flip changes the byte sum by +-2^bit;
// only combinations whose changes cancel modulo 256 can keep the checksum, so
// the others are passed over without building the message.
class TAlternativeSearch {
  public:
    TAlternativeSearch(const Bytes& message, std::vector<TWeakBit> weak, TCidStandard standard,
                       int maxFlips)
        : message_(message),
          weak_(std::move(weak)),
          standard_(standard),
          maxFlips_(maxFlips),
          readingPrior_(MessagePriorCost(message, standard)) {
        for (const auto& w : weak_) {
            const auto byte = static_cast<uint8_t>(message_[w.Index / 8]);
            const int bit = static_cast<int>(w.Index % 8);
            deltas_.push_back(((byte >> bit) & 1) != 0 ? -(1 << bit) : (1 << bit));
        }
    }

    // The cheapest passing alternative costing less than `limit`, if any.
    bool Find(double limit, Bytes& alternative, double& cost) {
        chosen_.clear();
        best_ = limit;
        found_ = false;
        Search(0, 0, 0.0);
        if (found_) {
            alternative = bestReading_;
            cost = best_;
        }
        return found_;
    }

  private:
    // What an alternative costs is what its flipped bits cost plus how much
    // less likely its content is a priori than the reading's (MessagePriorCost).
    void Search(std::size_t from, int sum, double cost) {
        if (chosen_.size() >= 2 && (sum & 0xFF) == 0) {
            double prior = 0;
            if (Passes(cost, prior) && prior <= -readingPrior_) {
                return;  // a typical reading: adding bits only costs more
            }
        }
        if (chosen_.size() == static_cast<std::size_t>(maxFlips_)) {
            return;
        }
        for (std::size_t i = from; i < weak_.size(); ++i) {
            const double next = cost + weak_[i].Cost;
            if (next - readingPrior_ >= best_) {
                break;  // cheapest first: every later bit costs more
            }
            chosen_.push_back(i);
            Search(i + 1, sum + deltas_[i], next);
            chosen_.pop_back();
        }
    }

    // Whether the chosen flips give a reading that passes every rule; the best
    // so far is kept when its whole cost is lower. `prior` is its content's
    // prior cost over the reading's.
    bool Passes(double bitCost, double& prior) {
        Bytes flipped = message_;
        for (std::size_t i : chosen_) {
            const std::size_t index = weak_[i].Index;
            flipped[index / 8] = static_cast<char>(flipped[index / 8] ^ (1 << (index % 8)));
        }
        if (!CheckMessage(flipped, standard_).Passed) {
            return false;
        }
        prior = MessagePriorCost(flipped, standard_) - readingPrior_;
        if (bitCost + prior < best_) {
            found_ = true;
            best_ = bitCost + prior;
            bestReading_ = std::move(flipped);
        }
        return true;
    }

    const Bytes& message_;
    std::vector<TWeakBit> weak_;
    TCidStandard standard_;
    int maxFlips_;
    double readingPrior_;
    std::vector<int> deltas_;
    std::vector<std::size_t> chosen_;
    double best_ = 0;
    bool found_ = false;
    Bytes bestReading_;
};

}  // namespace

TVerdict JudgeMessage(const TSoftMessage& reading) {
    TVerdict verdict;
    if (!reading.FramingHolds) {
        verdict.Reason = "a start or stop bit does not hold";
        return verdict;
    }
    const TMessageCheck check = CheckMessage(reading.Message, reading.Standard);
    if (!check.Passed) {
        verdict.Reason = check.Reason;
        return verdict;
    }
    const auto& costs = reading.DataCosts;
    if (costs.size() != reading.Message.size() * 8) {
        verdict.Reason = "no decision costs";
        return verdict;
    }
    const double mean =
        std::accumulate(costs.begin(), costs.end(), 0.0,
                        [](double sum, float c) { return sum + std::max(0.0f, c); }) /
        static_cast<double>(costs.size());
    const double weakest = std::max(0.0f, *std::min_element(costs.begin(), costs.end()));
    verdict.Quality = mean > 0 ? std::clamp(weakest / mean, 0.0, 1.0) : 0.0;
    TAlternativeSearch search(reading.Message, WeakBits(costs, JudgeSearchCost, JudgeWeakBits),
                              reading.Standard, JudgeMaxFlips);
    search.Find(JudgeSearchCost, verdict.Alternative, verdict.AlternativeCost);
    // Every pair of bits that could make a contender, however many weak bits
    // the message has: a noisy message may have more than JudgeWeakBits bits
    // cheaper than the second bit of a pair that passes. A reading whose own
    // content is unlikely a priori (an unknown parameter code, say) has
    // contenders among dearer bits too: one that mends its content costs
    // its bits less that prior.
    const double readingPrior = MessagePriorCost(reading.Message, reading.Standard);
    TAlternativeSearch pairs(reading.Message,
                             WeakBits(costs, JudgeMaxAlternativeCost + readingPrior, costs.size()),
                             reading.Standard, 2);
    Bytes pair;
    double pairCost = 0;
    if (pairs.Find(verdict.Alternative.empty() ? JudgeSearchCost : verdict.AlternativeCost, pair,
                   pairCost)) {
        verdict.Alternative = std::move(pair);
        verdict.AlternativeCost = pairCost;
    }
    if (!verdict.Alternative.empty() && verdict.AlternativeCost < JudgeMaxAlternativeCost) {
        verdict.Judgement = TJudgement::Uncertain;
        verdict.Reason = "another reading of its weakest bits passes too";
        return verdict;
    }
    verdict.Judgement = TJudgement::Accepted;
    return verdict;
}

}  // namespace ringlark
