#include "measurement/ToneFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

namespace ringlark {

namespace {

// The inverse of a symmetric 3 x 3 matrix (by its cofactors); zeros when it
// is singular.
std::array<std::array<double, 3>, 3> InvertSymmetric3(const double (&m)[3][3]) {
    std::array<std::array<double, 3>, 3> inverse{};
    const double c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    const double c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    const double c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    const double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    if (std::fabs(det) < 1e-12) {
        return inverse;
    }
    inverse[0][0] = c00 / det;
    inverse[0][1] = inverse[1][0] = c01 / det;
    inverse[0][2] = inverse[2][0] = c02 / det;
    inverse[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    inverse[1][2] = inverse[2][1] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    inverse[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return inverse;
}

}  // namespace

double FitFrequency(std::span<const float> x, double rate, double nominal,
                    const std::vector<std::pair<double, double>>& spans, bool slowTerms) {
    constexpr int kSlow = 3;  // 1, t, t^2 over the span, t in -1..1
    const double shortest = std::max(2.0 * kSlow, 1.5 * rate / nominal);
    const auto captured = [&](double hz) {
        const std::complex<double> step = std::polar(1.0, 2 * M_PI * hz / rate);
        double total = 0;
        for (const auto& [from, to] : spans) {
            const auto a = static_cast<std::size_t>(std::max(0.0, std::ceil(from)));
            const auto b = static_cast<std::size_t>(std::min(static_cast<double>(x.size()), to));
            if (b < a + 2 || (slowTerms && static_cast<double>(b - a) < shortest)) {
                continue;
            }
            // dot products of x, cos and sin with each other and with the
            // slow terms, and the slow terms' own (Gram) matrix
            double xc = 0, xs = 0, cc = 0, ss = 0, cs = 0;
            double px[kSlow] = {}, pc[kSlow] = {}, ps[kSlow] = {}, gram[kSlow][kSlow] = {};
            const double middle = (static_cast<double>(a) + static_cast<double>(b - 1)) / 2;
            const double half = std::max(1.0, static_cast<double>(b - a) / 2);
            std::complex<double> osc = 1.0;
            for (std::size_t i = a; i < b; ++i) {
                const double v = x[i];
                xc += v * osc.real();
                xs += v * osc.imag();
                cc += osc.real() * osc.real();
                ss += osc.imag() * osc.imag();
                cs += osc.real() * osc.imag();
                if (slowTerms) {
                    const double t = (static_cast<double>(i) - middle) / half;
                    const double term[kSlow] = {1, t, t * t};
                    for (int k = 0; k < kSlow; ++k) {
                        px[k] += v * term[k];
                        pc[k] += osc.real() * term[k];
                        ps[k] += osc.imag() * term[k];
                        for (int l = 0; l < kSlow; ++l) {
                            gram[k][l] += term[k] * term[l];
                        }
                    }
                }
                osc *= step;
            }
            if (slowTerms) {
                // each dot product less the part the slow terms explain:
                // u.v - (B'u)' G^-1 (B'v)
                const auto inverse = InvertSymmetric3(gram);
                const auto explained = [&](const double* u, const double* v) {
                    double sum = 0;
                    for (int k = 0; k < kSlow; ++k) {
                        for (int l = 0; l < kSlow; ++l) {
                            sum += u[k] * inverse[k][l] * v[l];
                        }
                    }
                    return sum;
                };
                xc -= explained(px, pc);
                xs -= explained(px, ps);
                cc -= explained(pc, pc);
                ss -= explained(ps, ps);
                cs -= explained(pc, ps);
            }
            const double det = cc * ss - cs * cs;
            if (det > 1e-9) {
                total += (xc * xc * ss - 2 * xc * xs * cs + xs * xs * cc) / det;
            }
        }
        return total;
    };
    if (spans.empty()) {
        return 0;
    }
    double best = nominal;
    double width = 0.04 * nominal;
    for (int round = 0; round < 4; ++round) {
        const double from = best - width;
        constexpr int kSteps = 40;
        double bestValue = -1;
        for (int k = 0; k <= kSteps; ++k) {
            const double hz = from + 2 * width * k / kSteps;
            const double value = captured(hz);
            if (value > bestValue) {
                bestValue = value;
                best = hz;
            }
        }
        width = 2 * width / kSteps * 1.5;
    }
    return best;
}

}  // namespace ringlark
