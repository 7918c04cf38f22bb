#include "bench/compare/render_timing.h"

#include <algorithm>
#include <cmath>

#include "bench/compare/cpu_time.h"

namespace benchcompare {

class BlockRunner {
public:
    BlockRunner(BenchPlugin& plugin, const TimingPlan& plan, const StereoSignal* input)
        : plugin_(plugin), input_(input), block_(plan.blockSize) {
        AEffect* effect = plugin.effect();
        inputs_ = std::max(effect->numInputs, 0);
        outputs_ = std::max(effect->numOutputs, 0);
        const size_t block = static_cast<size_t>(block_);
        silence_.assign(block, 0.0f);
        outputStorage_.assign(static_cast<size_t>(outputs_), std::vector<float>(block, 0.0f));
        inputPointers_.assign(static_cast<size_t>(inputs_) + 1, nullptr);
        for (auto& buffer : outputStorage_) outputPointers_.push_back(buffer.data());
        outputPointers_.push_back(nullptr);
    }

    // Renders `frames` frames; with `check`, adds up the squares of every
    // output sample and of its difference from the input on that pin, and
    // notes non-finite samples.
    struct Check {
        double outputSquares = 0.0, changeSquares = 0.0;
        bool finite = true;
    };
    void run(int64_t frames, Check* check = nullptr) {
        for (int64_t done = 0; done < frames;) {
            const int count = static_cast<int>(std::min<int64_t>(block_, frames - done));
            pointInputs(count);
            plugin_.session().processReplacing(inputPointers_.data(), outputPointers_.data(), count);
            if (check != nullptr) addToCheck(*check, count);
            done += count;
        }
    }

    int inputs() const { return inputs_; }
    int outputs() const { return outputs_; }

private:
    void addToCheck(Check& check, int count) const {
        for (int c = 0; c < outputs_; ++c) {
            const float* out = outputStorage_[static_cast<size_t>(c)].data();
            const float* in = c < inputs_ ? inputPointers_[static_cast<size_t>(c)] : silence_.data();
            for (int n = 0; n < count; ++n) {
                if (!std::isfinite(out[n])) {
                    check.finite = false;
                    continue;
                }
                const double change = static_cast<double>(out[n]) - in[n];
                check.outputSquares += static_cast<double>(out[n]) * out[n];
                check.changeSquares += change * change;
            }
        }
    }

    // Inputs point straight into the prepared signal, as a host hands over
    // its own buffers; a block that would run off the end starts it again.
    void pointInputs(int count) {
        if (input_ == nullptr || input_->frames() < count) {
            for (int c = 0; c < inputs_; ++c) inputPointers_[static_cast<size_t>(c)] = silence_.data();
            return;
        }
        if (position_ + count > input_->frames()) position_ = 0;
        for (int c = 0; c < inputs_; ++c) {
            const std::vector<float>& channel = (c % 2 == 0) ? input_->left : input_->right;
            inputPointers_[static_cast<size_t>(c)] = const_cast<float*>(channel.data() + position_);
        }
        position_ += count;
    }

    BenchPlugin& plugin_;
    const StereoSignal* input_;
    int block_;
    int inputs_ = 0, outputs_ = 0;
    int64_t position_ = 0;
    std::vector<float> silence_;
    std::vector<std::vector<float>> outputStorage_;
    std::vector<float*> inputPointers_, outputPointers_;
};

namespace {

double rmsDb(double sumSquares, double samples) {
    const double rms = std::sqrt(sumSquares / samples);
    return rms > 1e-10 ? 20.0 * std::log10(rms) : -200.0;
}

}  // namespace

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : 0.5 * (values[mid - 1] + values[mid]);
}

RenderTimer::RenderTimer(BenchPlugin& plugin, const TimingPlan& plan, const StereoSignal* input, VstEvents* events)
    : plan_(plan), runner_(new BlockRunner(plugin, plan, input)) {
    timing_.inputs = runner_->inputs();
    timing_.outputs = runner_->outputs();
    if (events != nullptr) plugin.session().dispatch(effProcessEvents, 0, 0, events);
    runner_->run(static_cast<int64_t>(std::llround(plan.warmupSeconds * plan.sampleRate)));
}

RenderTimer::~RenderTimer() { delete runner_; }

void RenderTimer::timePass() {
    const int64_t frames = static_cast<int64_t>(std::llround(plan_.seconds * plan_.sampleRate));
    const double thread0 = threadCpuSeconds();
    const double process0 = processCpuSeconds();
    runner_->run(frames);
    const double thread1 = threadCpuSeconds();
    const double process1 = processCpuSeconds();
    timing_.threadSeconds.push_back(thread1 - thread0);
    timing_.processSeconds.push_back(process1 - process0);
}

Timing RenderTimer::finish() {
    timing_.medianThreadSeconds = median(timing_.threadSeconds);
    timing_.medianProcessSeconds = median(timing_.processSeconds);
    BlockRunner::Check check;
    const int64_t checkFrames = static_cast<int64_t>(std::llround(plan_.sampleRate));
    runner_->run(checkFrames, &check);
    const double samples = static_cast<double>(checkFrames) * std::max(runner_->outputs(), 1);
    timing_.outputRmsDb = rmsDb(check.outputSquares, samples);
    timing_.changeRmsDb = rmsDb(check.changeSquares, samples);
    timing_.outputFinite = check.finite;
    return timing_;
}

Timing timeRendering(BenchPlugin& plugin, const TimingPlan& plan, const StereoSignal* input, VstEvents* events) {
    RenderTimer timer(plugin, plan, input, events);
    for (int pass = 0; pass < plan.repetitions; ++pass) timer.timePass();
    return timer.finish();
}

}  // namespace benchcompare
