// The equaliser's bands four frames at a time. A biquad's four outputs are a
// linear function of the four inputs and of the two input and two output
// values before them, so one band can be run as eight columns of
// multiply-adds over a four-frame vector instead of four steps of its
// recursion: the recursion then only carries from one group of four frames
// to the next. Columns are worked out once when a band's coefficients
// change. The per-frame form in TrackEqualiser::process stays for the
// frames where a wet mix still glides; this one runs while every mix holds.
// The two forms round differently: near poles close to 1 (bands at 20 to 40
// Hz) the four-frame form's rounding noise is some 5 to 15 dB above the
// per-frame form's, which is itself 50 to 60 dB below the signal there;
// above 100 Hz both lie 75 dB and more below it.
#pragma once

#include "track/equaliser.h"

EqBlockColumns eqBlockColumns(const EqBandState& band);

// One channel (ch) through the three bands, four lanes (SSE2). Every band on,
// every wet mix settled.
void runEqBlocks(EqBandState* bands, const EqBlockColumns* columns, float* io, int ch, int frames);

// Both channels in the two halves of eight lanes (AVX2, x86_64 only); the
// same arithmetic lane for lane, so the same bits as runEqBlocks per channel.
void runEqBlocksWide(EqBandState* bands, const EqBlockColumns* columns, float* left, float* right, int frames);
