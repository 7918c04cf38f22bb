#include "tools/audio_measure/click_detector.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace measure {

namespace {

// For every n, the largest of a[n - window .. n - guard] (0 where empty).
std::vector<float> maxBefore(const std::vector<float>& a, size_t window, size_t guard) {
    std::vector<float> out(a.size(), 0.0f);
    std::deque<size_t> candidates;  // indices with decreasing values
    for (size_t n = 0; n < a.size(); ++n) {
        if (n >= guard) {
            const size_t entering = n - guard;
            while (!candidates.empty() && a[candidates.back()] <= a[entering]) candidates.pop_back();
            candidates.push_back(entering);
        }
        while (!candidates.empty() && candidates.front() + window < n) candidates.pop_front();
        out[n] = candidates.empty() ? 0.0f : a[candidates.front()];
    }
    return out;
}

struct StepRatios {
    std::vector<float> steps;
    std::vector<float> ratios;
};

StepRatios stepRatios(const std::vector<float>& x, double rateHz, const ClickSettings& s) {
    StepRatios r;
    const size_t n = x.size();
    r.steps.assign(n, 0.0f);
    for (size_t i = 1; i < n; ++i) r.steps[i] = std::fabs(x[i] - x[i - 1]);
    const size_t window = static_cast<size_t>(std::max(1.0, s.windowSeconds * rateHz));
    const size_t guard = static_cast<size_t>(std::max(1, s.guardFrames));
    const std::vector<float> before = maxBefore(r.steps, window, guard);
    std::vector<float> reversed(r.steps.rbegin(), r.steps.rend());
    std::vector<float> after = maxBefore(reversed, window, guard);
    std::reverse(after.begin(), after.end());
    r.ratios.assign(n, 0.0f);
    for (size_t i = 1; i < n; ++i) {
        if (r.steps[i] < s.floor) continue;
        const float context = std::max({before[i], after[i], 1e-9f});
        r.ratios[i] = r.steps[i] / context;
    }
    return r;
}

}  // namespace

std::vector<Click> findClicks(const std::vector<float>& x, double rateHz, const ClickSettings& s, int channelNumber) {
    std::vector<Click> clicks;
    const StepRatios r = stepRatios(x, rateHz, s);
    const size_t merge = static_cast<size_t>(0.01 * rateHz);
    for (size_t i = 1; i < x.size(); ++i) {
        if (r.ratios[i] <= s.ratio) continue;
        Click c{i, channelNumber, r.steps[i], r.ratios[i]};
        if (!clicks.empty() && i - clicks.back().frame < merge) {
            if (c.ratio > clicks.back().ratio) clicks.back() = c;
            continue;
        }
        clicks.push_back(c);
    }
    return clicks;
}

std::vector<Click> findClicks(const StereoSignal& signal, const ClickSettings& settings) {
    std::vector<Click> clicks = findClicks(signal.left, signal.rateHz, settings, 0);
    std::vector<Click> right = findClicks(signal.right, signal.rateHz, settings, 1);
    clicks.insert(clicks.end(), right.begin(), right.end());
    std::sort(clicks.begin(), clicks.end(), [](const Click& a, const Click& b) { return a.frame < b.frame; });
    return clicks;
}

double worstStepRatio(const StereoSignal& signal, const ClickSettings& settings) {
    double worst = 0.0;
    for (const auto* channel : {&signal.left, &signal.right}) {
        const StepRatios r = stepRatios(*channel, signal.rateHz, settings);
        for (float v : r.ratios) worst = std::max(worst, static_cast<double>(v));
    }
    return worst;
}

}  // namespace measure
