#include "modules/dsp_tables.h"

#include <cmath>
#include <type_traits>
#include <vector>

#include "common/portable_math.h"

namespace dsp {
namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

void buildWaveTables(DspTables& t) {
    // Double-precision sine cycle: harmonic j of sample i is exactly the
    // cycle's entry (j * i) mod 16384, which keeps the 16 million terms of
    // the sawtooth sums cheap and free of rounding drift.
    std::vector<double> sineCycle(kTableSize);
    for (int i = 0; i < kTableSize; ++i) sineCycle[static_cast<size_t>(i)] = portable::sin(kTwoPi * i / kTableSize);

    for (int i = 0; i < kTableSize; ++i) {
        t.sine[i] = static_cast<float>(sineCycle[static_cast<size_t>(i)]);
        double b = 4.0 * i / kTableSize - 1.0;
        if (b > 1.0) b = 2.0 - b;
        t.triangle[i] = static_cast<float>(b);
    }

    // One pass over the harmonics; table k is the partial sum up to harmonic
    // 2^(10-k) - 1, taken when the pass reaches it (table 9 first).
    std::vector<double> sum(kTableSize, 0.0);
    int nextTable = kSawTableCount - 1;
    const int lastHarmonic = (1 << kSawTableCount) - 1;
    for (int j = 1; j <= lastHarmonic; ++j) {
        const double weight = 1.0 / j;
        for (int i = 0; i < kTableSize; ++i) {
            const int step = static_cast<int>((static_cast<int64_t>(j) * i) & kTableMask);
            sum[static_cast<size_t>(i)] += sineCycle[static_cast<size_t>(step)] * weight;
        }
        if (j == (1 << (kSawTableCount - nextTable)) - 1) {
            for (int i = 0; i < kTableSize; ++i)
                t.saw[nextTable][i] = static_cast<float>(0.6 * sum[static_cast<size_t>(i)]);
            --nextTable;
        }
    }

    // Map entry m: trunc(log2((m + 1) * 2205 / 16384)) + 1, limited to 0..9.
    // 2205 = 44100 / 20: the increment is rated against the audio band at the
    // reference rate, one table per octave.
    t.sawCell[0] = 0;
    for (int m = 0; m < kTableSize; ++m) {
        const double x = portable::log2((m + 1) * 2205.0 / kTableSize);
        int entry = static_cast<int>(std::trunc(x)) + 1;
        if (entry < 0) entry = 0;
        if (entry > kSawTableCount - 1) entry = kSawTableCount - 1;
        t.sawCell[m + 1] = entry;
    }
}

void buildFilterTables(DspTables& t) {
    const double logRatio = portable::log(kFilterOmegaSpan) / kTableSize;
    const double logQStep = portable::log(100.0) / kTableSize;
    for (int i = 0; i < kTableSize; ++i) {
        const double w = kFilterBaseOmega * portable::exp(logRatio * i);
        t.filterSin[i] = static_cast<float>(portable::sin(w) / 2.0);
        t.filterCos[i] = static_cast<float>(portable::cos(w));
        t.filterQ[i] = static_cast<float>(0.1 * portable::exp(logQStep * i));
    }
}

}  // namespace

// Static storage rather than a heap block: the tables must outlive every
// module up to process exit, and a heap block whose only pointer lived in the
// plug-in's data would be orphaned when a host unloads the plug-in. The
// record is plain arrays, so no destructor ever runs on it.
static_assert(std::is_trivially_destructible_v<DspTables>);

const DspTables& dspTables() {
    static DspTables tables;
    static const bool built = [] {
        buildWaveTables(tables);
        buildFilterTables(tables);
        return true;
    }();
    (void)built;
    return tables;
}

}  // namespace dsp
