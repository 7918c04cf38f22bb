#include "tools/player/player_engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>

#include "tools/player/block_timing.h"
#include "tools/player/player_host.h"

int64_t steadyNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

PlayerEngine::PlayerEngine(AEffect* effect, PlayerHost& host, PlayerTransport& transport)
    : effect_(effect), host_(host), transport_(transport) {
    const int outputs = std::max(effect->numOutputs, 2);
    outputs_.assign(static_cast<size_t>(outputs), std::vector<float>(kMaxBlockFrames, 0.0f));
    for (auto& buffer : outputs_) outputPointers_.push_back(buffer.data());
    // Plug-ins with inputs get silence.
    silence_.assign(kMaxBlockFrames, 0.0f);
    inputPointers_.assign(static_cast<size_t>(std::max(effect->numInputs, 1)), silence_.data());
    for (size_t i = 0; i < midi_.size(); ++i) {
        midi_[i].type = kVstMidiType;
        midi_[i].byteSize = sizeof(VstMidiEvent);
        list_.events[i] = reinterpret_cast<VstEvent*>(&midi_[i]);
    }
}

void PlayerEngine::prepareAudio(int sampleRate, int maxFrames) {
    suspend();
    sampleRate_ = sampleRate;
    const int blockFrames = std::min(maxFrames, kMaxBlockFrames);
    host_.setStreamFormat(sampleRate, blockFrames);
    effect_->dispatcher(effect_, effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    effect_->dispatcher(effect_, effSetBlockSize, 0, blockFrames, nullptr, 0.0f);
    effect_->dispatcher(effect_, effMainsChanged, 0, 1, nullptr, 0.0f);
    resumed_ = true;
}

void PlayerEngine::suspend() {
    if (!resumed_) return;
    effect_->dispatcher(effect_, effMainsChanged, 0, 0, nullptr, 0.0f);
    resumed_ = false;
}

void PlayerEngine::receiveMidi(const uint8_t* bytes, size_t size) { receiveMidiAt(bytes, size, steadyNanos()); }

bool PlayerEngine::receiveMidiAt(const uint8_t* bytes, size_t size, int64_t arrivalNanos) {
    // Short channel and system messages only; system exclusive and stray
    // data bytes are not played.
    if (size == 0 || size > 3 || (bytes[0] & 0x80) == 0 || bytes[0] == 0xF0 || bytes[0] == 0xF7) return false;
    TimedMidiMessage message;
    message.arrivalNanos = arrivalNanos;
    for (size_t i = 0; i < size; ++i) message.bytes[i] = bytes[i];
    if (queue_.push(message)) return true;
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
}

void PlayerEngine::queueAllNotesOff() {
    for (uint8_t channel = 0; channel < 16; ++channel) {
        const uint8_t notesOff[3] = {static_cast<uint8_t>(0xB0 | channel), 123, 0};
        const uint8_t soundOff[3] = {static_cast<uint8_t>(0xB0 | channel), 120, 0};
        receiveMidi(notesOff, 3);
        receiveMidi(soundOff, 3);
    }
}

void PlayerEngine::renderAudio(float* interleaved, int frames, int channels) {
    const int64_t now = steadyNanos();
    const double nanosPerFrame = 1e9 / sampleRate_;
    for (int done = 0; done < frames;) {
        const int block = std::min(frames - done, kMaxBlockFrames);
        // A callback longer than one block is rendered in pieces, each
        // standing for its own part of the period.
        const int64_t pieceEnd = now - static_cast<int64_t>((frames - done - block) * nanosPerFrame);
        renderBlock(outputPointers_[0], outputPointers_[1], block, pieceEnd);
        float peak = 0.0f;
        for (int i = 0; i < block; ++i) {
            float* frame = interleaved + static_cast<ptrdiff_t>(done + i) * channels;
            const float left = outputPointers_[0][i];
            const float right = outputPointers_[1][i];
            if (channels == 1) {
                frame[0] = 0.5f * (left + right);
            } else {
                frame[0] = left;
                frame[1] = right;
                for (int c = 2; c < channels; ++c) frame[c] = 0.0f;
            }
            peak = std::max(peak, std::max(std::fabs(left), std::fabs(right)));
        }
        if (peak > peak_.load(std::memory_order_relaxed)) peak_.store(peak, std::memory_order_relaxed);
        done += block;
    }
}

void PlayerEngine::renderBlock(float* left, float* right, int frames, int64_t callbackNanos) {
    // Messages in arrival order; each is placed at its frame, and the list
    // stays in frame order as processEvents expects (a stable insertion).
    int count = 0;
    TimedMidiMessage message;
    while (count < kMaxEventsPerBlock && queue_.pop(message)) {
        const int frame = frameInBlock(message.arrivalNanos, callbackNanos, frames, sampleRate_);
        int at = count;
        while (at > 0 && midi_[static_cast<size_t>(at - 1)].deltaFrames > frame) {
            midi_[static_cast<size_t>(at)] = midi_[static_cast<size_t>(at - 1)];
            --at;
        }
        VstMidiEvent& event = midi_[static_cast<size_t>(at)];
        event.type = kVstMidiType;
        event.byteSize = sizeof(VstMidiEvent);
        event.deltaFrames = frame;
        event.flags = kVstMidiEventIsRealtime;
        event.midiData[0] = static_cast<char>(message.bytes[0]);
        event.midiData[1] = static_cast<char>(message.bytes[1]);
        event.midiData[2] = static_cast<char>(message.bytes[2]);
        event.midiData[3] = 0;
        ++count;
    }

    host_.publishTime(&transport_.beginBlock(sampleRate_));
    if (count > 0) {
        list_.numEvents = count;
        effect_->dispatcher(effect_, effProcessEvents, 0, 0, &list_, 0.0f);
    }
    for (auto& buffer : outputs_) std::fill(buffer.begin(), buffer.begin() + frames, 0.0f);
    effect_->processReplacing(effect_, inputPointers_.data(), outputPointers_.data(), frames);
    transport_.endBlock(frames);
    if (left != outputPointers_[0]) std::copy_n(outputPointers_[0], frames, left);
    if (right != outputPointers_[1]) std::copy_n(outputPointers_[1], frames, right);
    renderedFrames_.fetch_add(frames, std::memory_order_relaxed);
}
