// The sampler's envelopes four at a time, one voice in each lane of an SSE2
// vector: stepEnvelope() lane by lane, each lane taking the branch of the
// stage it starts the step in. Shared by the lane kernels of every width.
#pragma once

#include <emmintrin.h>

#include "modules/sampler_voice.h"

namespace sampler {

inline __m128 selectLanes(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
inline __m128i selectLanes(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

struct EnvelopeLanes {
    __m128 level;
    __m128i stage;
    __m128 attackIncrement;
    __m128 decayFactor;
    __m128 sustain;
    __m128 releaseFactor;
};

// stepEnvelope() in four lanes: each lane takes the branch of the stage it
// starts the step in.
inline void stepEnvelopes(EnvelopeLanes& e) {
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128i attack = _mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kStageAttack));
    const __m128i decay = _mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kStageDecay));
    const __m128i release = _mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kStageRelease));

    // Attack: up by the increment, to 1 and on to the decay once there.
    const __m128 raised = _mm_add_ps(e.level, e.attackIncrement);
    const __m128i attackDone = _mm_and_si128(attack, _mm_castps_si128(_mm_cmpge_ps(raised, one)));
    const __m128 attackLevel = selectLanes(_mm_castsi128_ps(attackDone), one, raised);
    // Decay: at or below the sustain level the stage ends, the level kept;
    // else down by the factor, not below the sustain level.
    const __m128i decayDone = _mm_and_si128(decay, _mm_castps_si128(_mm_cmple_ps(e.level, e.sustain)));
    __m128 decayed = _mm_mul_ps(e.level, e.decayFactor);
    decayed = selectLanes(_mm_cmplt_ps(decayed, e.sustain), e.sustain, decayed);
    const __m128 decayLevel = selectLanes(_mm_castsi128_ps(decayDone), e.level, decayed);
    const __m128 releaseLevel = _mm_mul_ps(e.level, e.releaseFactor);

    __m128 next = selectLanes(_mm_castsi128_ps(attack), attackLevel, e.level);
    next = selectLanes(_mm_castsi128_ps(decay), decayLevel, next);
    next = selectLanes(_mm_castsi128_ps(release), releaseLevel, next);
    e.stage = selectLanes(attackDone, _mm_set1_epi32(kStageDecay), e.stage);
    e.stage = selectLanes(decayDone, _mm_set1_epi32(kStageSustain), e.stage);
    // Clamped as `if (l > 1) l = 1; if (!(l >= floor)) l = floor;`.
    e.level = _mm_max_ps(_mm_min_ps(one, next), _mm_set1_ps(kEnvelopeFloor));
}

// Release, sustain and idle move the level by a factor alone (sustain and
// idle by 1, which changes no value): envelopes whose lanes all stand in
// those stages step as their level times the lane's factor, clamped, and
// stay in their stages.
inline bool envelopesScale(const EnvelopeLanes& e) {
    const __m128i scales = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kStageSustain)),
                                                     _mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kStageIdle))),
                                        _mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kStageRelease)));
    return _mm_movemask_epi8(scales) == 0xFFFF;
}

inline __m128 envelopeFactors(const EnvelopeLanes& e) {
    const __m128i release = _mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kStageRelease));
    return selectLanes(_mm_castsi128_ps(release), e.releaseFactor, _mm_set1_ps(1.0f));
}

// stepEnvelopes() where envelopesScale() holds.
inline void scaleEnvelopes(EnvelopeLanes& e, __m128 factors) {
    e.level = _mm_max_ps(_mm_min_ps(_mm_set1_ps(1.0f), _mm_mul_ps(e.level, factors)), _mm_set1_ps(kEnvelopeFloor));
}

// Sustain and idle keep their level: envelopes whose lanes all keep it only
// need their clamp, once.
inline bool envelopesHold(const EnvelopeLanes& e) {
    const __m128i holds = _mm_or_si128(_mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kStageSustain)),
                                       _mm_cmpeq_epi32(e.stage, _mm_set1_epi32(kStageIdle)));
    return _mm_movemask_epi8(holds) == 0xFFFF;
}

}  // namespace sampler
