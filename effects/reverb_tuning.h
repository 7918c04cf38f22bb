// Fixed tuning of the reverberator. The comb lengths are mutually prime-ish
// and spread over 1116 .. 1617 samples (25 .. 37 ms at 44.1 kHz) so that
// their echo densities interleave instead of reinforcing; the all-passes
// (5 .. 13 ms) smear each comb echo into a dense cloud. The right channel's
// lines are 23 samples longer than the left ones: the two channels then
// decorrelate and the room sounds wide instead of centred. The lengths are
// the same at every sample rate, as in the original module: at 96 kHz the
// room is smaller and its tail shorter.
#pragma once

namespace reverb_tuning {

constexpr int kCombCount = 8;
constexpr int kAllpassCount = 4;
constexpr int kCombLengthsLeft[kCombCount] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllpassLengthsLeft[kAllpassCount] = {556, 441, 341, 225};
constexpr int kStereoSpreadSamples = 23;

// All-pass feedback: 0.5 gives the flattest long-term response.
constexpr float kAllpassFeedback = 0.5f;
// Gain of the diffused signal in the wet mix: eight combs summed need about
// -26 dB to sit at the level of the dry signal.
constexpr float kDiffusedGain = 0.05f;
// Early reflections: EarlyRef 1 subtracts 0.4 of the comb sum.
constexpr float kEarlyGainRange = 0.4f;
// Comb feedback 0.68 .. 0.98 over the Size range.
constexpr float kRoomFeedbackAtZero = 0.68f;
constexpr float kRoomFeedbackRange = 0.3f;
// Pre-delay up to 150 ms; its lines hold 2^15 samples (170 ms at 192 kHz).
constexpr double kLongestPreDelaySeconds = 0.15;
constexpr double kLongestPreDelayMs = 150.0;
constexpr int kPreDelayBits = 15;
// Nominal room area shown for Size: 1 .. 500 square metres.
constexpr double kRoomAreaRange = 500.0;

}  // namespace reverb_tuning
