// The equaliser's passes over a block in SSE2 (four lanes, every build) and
// AVX2 (eight lanes, x86_64 where the processor has them); both widths run
// the one kernel in equaliser_kernel.inc and give the same bits.
//
// The per-frame form runs the three bands as a pipeline, one band per lane,
// while a wet mix glides. The four-frame form runs once every mix holds: a
// biquad's four outputs are a linear function of the four inputs and of the
// two input and two output values before them, so one band can be run as
// eight columns of multiply-adds over a four-frame vector instead of four
// steps of its recursion: the recursion then only carries from one group of
// four frames to the next. Columns are worked out once when a band's
// coefficients change. The two forms round differently: near poles close to
// 1 (bands at 20 to 40 Hz) the four-frame form's rounding noise is some 5 to
// 15 dB above the per-frame form's, which is itself 50 to 60 dB below the
// signal there; above 100 Hz both lie 75 dB and more below it.
//
// A flat band (0 dB: its numerator equals its denominator) is the identity.
// The four-frame form passes its input on once the band's output memories
// equal its input memories, and keeps them so, from where the band goes on
// filtering when it is moved; until then (after a glide, or a band moved to 0
// dB) it adds what is left of the old ringing, decaying by the band's own
// recursion. The filter run in float would give the input back give or take
// its rounding, amplified near its poles: for a track's bands at 100 Hz, 500
// Hz and 2 kHz, 81 dB below the signal; a 40 Hz band alone, 63 dB. Such a
// band, but for the last, is left out of the chain altogether (the band
// after it stands the zeros in as it would), and takes its memories from
// the band after it at the end of the block.
#pragma once

#include "track/equaliser.h"

EqBlockColumns eqBlockColumns(const EqBandState& band);

// The per-frame form for one channel (ch) through the bands that run
// (running), four lanes (SSE2).
void runEqFrames(EqBandState* bands, const bool* running, float* io, int ch, int frames, float equaliserOn);

// The four-frame form for one channel (ch), four lanes (SSE2). Every band on,
// every wet mix settled; flat bands skipped where skipFlat, and where chained
// as well those that need not run at all left out (the same bits).
void runEqBlocks(EqBandState* bands, const EqBlockColumns* columns, float* io, int ch, int frames, bool skipFlat,
                 bool chained);

#if defined(__x86_64__)
// Both channels through eight lanes (AVX2; callers check for it).
// The per-frame form: lanes 2k and 2k + 1 hold band k of the left and the
// right channel.
void runEqFramesWide(EqBandState* bands, const bool* running, float* left, float* right, int frames,
                     float equaliserOn);
// The four-frame form: the left channel in lanes 0-3, the right in 4-7.
void runEqBlocksWide(EqBandState* bands, const EqBlockColumns* columns, float* left, float* right, int frames,
                     bool skipFlat, bool chained);
#endif
