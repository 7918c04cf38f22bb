// A minimal host for the time-based effects: creates a module through the
// module table, drives it through its AEffect only, and answers the host
// callback's time request with a record the test chooses (or none).
#pragma once

#include <string>
#include <vector>

#include "vst/aeffectx.h"

namespace fxtest {

// The record audioMasterGetTime answers with; null means "no time information".
void setHostTime(VstTimeInfo* info);
// A record with only the tempo-valid flag and the given tempo.
VstTimeInfo tempoRecord(double bpm);

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(size_t frames = 0) : left(frames, 0.0f), right(frames, 0.0f) {}
    size_t size() const { return left.size(); }
};

class HostedEffect {
public:
    explicit HostedEffect(const char* fileTitle, float sampleRate = 44100.0f);
    ~HostedEffect();
    HostedEffect(const HostedEffect&) = delete;
    HostedEffect& operator=(const HostedEffect&) = delete;

    AEffect* effect() const { return effect_; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);

    void setSampleRate(float rate);
    void set(int index, float value);
    float get(int index);
    std::string name(int index);
    std::string display(int index);
    int paramIndex(const std::string& parameterName);  // first match, -1 if none

    // Renders input through the module in blocks of blockFrames.
    Stereo process(const Stereo& input, int blockFrames = 256);
    // Renders silence.
    Stereo silence(size_t frames, int blockFrames = 256);

    std::vector<char> chunk(bool preset);
    VstInt32 setChunk(std::vector<char> bytes, bool preset);
    void sendMidi(unsigned char status, unsigned char data1, VstInt32 deltaFrames);

private:
    AEffect* effect_ = nullptr;
};

// Signal helpers.
Stereo impulse(size_t frames, size_t at = 0, float amplitude = 1.0f);
double rmsDb(const std::vector<float>& x, size_t from, size_t to);
double peakAbs(const std::vector<float>& x, size_t from, size_t to);
// Difference a - b, sample by sample (null tests against a silent run).
std::vector<float> minus(const std::vector<float>& a, const std::vector<float>& b);

}  // namespace fxtest
