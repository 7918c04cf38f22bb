// A one-line progress bar on standard error for long renders.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

class ProgressBar {
public:
    // total and done are in frames; sampleRate turns them into seconds.
    ProgressBar(std::FILE* out, int64_t totalFrames, double sampleRate, bool enabled);
    void update(int64_t doneFrames);
    void finish();

private:
    void draw(int64_t doneFrames);

    std::FILE* out_;
    int64_t total_;
    double sampleRate_;
    bool enabled_;
    int lastPermille_ = -1;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// Renders shorter than this much audio finish before a bar is worth seeing.
constexpr double kProgressMinimumSeconds = 20.0;
