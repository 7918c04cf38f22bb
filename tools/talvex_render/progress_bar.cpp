#include "tools/talvex_render/progress_bar.h"

namespace {
constexpr int kBarWidth = 40;
// Redraw at most ten times a second: a terminal is slower than a renderer.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
}  // namespace

ProgressBar::ProgressBar(std::FILE* out, int64_t totalFrames, double sampleRate, bool enabled)
    : out_(out), total_(totalFrames > 0 ? totalFrames : 1), sampleRate_(sampleRate), enabled_(enabled) {}

void ProgressBar::update(int64_t doneFrames) {
    if (!enabled_) return;
    int permille = static_cast<int>(doneFrames * 1000 / total_);
    auto now = std::chrono::steady_clock::now();
    if (permille == lastPermille_ || now - lastDraw_ < kRedrawInterval) return;
    lastPermille_ = permille;
    lastDraw_ = now;
    draw(doneFrames);
}

void ProgressBar::finish() {
    if (!enabled_) return;
    draw(total_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void ProgressBar::draw(int64_t doneFrames) {
    if (doneFrames > total_) doneFrames = total_;
    int filled = static_cast<int>(doneFrames * kBarWidth / total_);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = 0;
    std::fprintf(out_, "\r[%s] %3d%%  %.1f s of %.1f s", bar, static_cast<int>(doneFrames * 100 / total_),
                 static_cast<double>(doneFrames) / sampleRate_, static_cast<double>(total_) / sampleRate_);
    std::fflush(out_);
}
