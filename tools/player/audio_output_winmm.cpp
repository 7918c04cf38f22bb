// Audio output on the Windows multimedia wave-out API: a render thread of
// the player's own keeps a few buffers queued, refilling each as the
// driver hands it back (CALLBACK_EVENT; the driver's own callback may not
// call wave-out functions). 16-bit stereo PCM, which every driver takes.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "tools/player/audio_output.h"

namespace {

constexpr int kBuffers = 3;
constexpr int kChannels = 2;

std::vector<std::string> waveOutNames() {
    std::vector<std::string> names;
    const UINT count = waveOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        WAVEOUTCAPSA caps{};
        if (waveOutGetDevCapsA(i, &caps, sizeof(caps)) == MMSYSERR_NOERROR) names.emplace_back(caps.szPname);
    }
    return names;
}

std::string waveOutError(MMRESULT result) {
    char text[MAXERRORLENGTH] = {0};
    waveOutGetErrorTextA(result, text, sizeof(text));
    return text[0] != 0 ? std::string(text) : "wave-out error " + std::to_string(result);
}

class WinmmAudioOutput final : public AudioOutput {
public:
    ~WinmmAudioOutput() override { close(); }

    std::string systemName() const override { return "winmm"; }
    std::vector<std::string> deviceNames() override { return waveOutNames(); }

    bool open(const AudioStreamRequest& request, AudioRenderer* renderer, AudioStreamInfo& info,
              std::string& error) override {
        close();
        const std::vector<std::string> names = waveOutNames();
        UINT device = WAVE_MAPPER;
        std::string deviceName = names.empty() ? std::string() : names.front();
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] == request.device) {
                device = static_cast<UINT>(i);
                deviceName = names[i];
            }
        }
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = kChannels;
        format.nSamplesPerSec = static_cast<DWORD>(request.sampleRate);
        format.wBitsPerSample = 16;
        format.nBlockAlign = static_cast<WORD>(kChannels * 2);
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
        event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        const MMRESULT result = waveOutOpen(&wave_, device, &format, reinterpret_cast<DWORD_PTR>(event_), 0,
                                            CALLBACK_EVENT);
        if (result != MMSYSERR_NOERROR) {
            error = waveOutError(result);
            wave_ = nullptr;
            close();
            return false;
        }
        frames_ = std::clamp(request.bufferFrames, 16, 8192);
        float_.assign(static_cast<size_t>(frames_) * kChannels, 0.0f);
        for (int b = 0; b < kBuffers; ++b) {
            pcm_[b].assign(static_cast<size_t>(frames_) * kChannels, 0);
            headers_[b] = WAVEHDR{};
            headers_[b].lpData = reinterpret_cast<LPSTR>(pcm_[b].data());
            headers_[b].dwBufferLength = static_cast<DWORD>(pcm_[b].size() * sizeof(int16_t));
            waveOutPrepareHeader(wave_, &headers_[b], sizeof(WAVEHDR));
        }
        renderer_ = renderer;
        renderer->prepareAudio(request.sampleRate, frames_);
        running_.store(true);
        thread_ = std::thread([this] { renderLoop(); });
        info.device = deviceName;
        info.sampleRate = request.sampleRate;
        info.bufferFrames = frames_;
        info.channels = kChannels;
        info.serverFixesFormat = false;
        return true;
    }

    void close() override {
        running_.store(false);
        if (event_ != nullptr) SetEvent(event_);
        if (thread_.joinable()) thread_.join();
        if (wave_ != nullptr) {
            waveOutReset(wave_);
            for (WAVEHDR& header : headers_)
                if ((header.dwFlags & WHDR_PREPARED) != 0) waveOutUnprepareHeader(wave_, &header, sizeof(WAVEHDR));
            waveOutClose(wave_);
            wave_ = nullptr;
        }
        if (event_ != nullptr) CloseHandle(event_);
        event_ = nullptr;
    }

    bool isOpen() const override { return wave_ != nullptr; }

private:
    void fill(WAVEHDR& header) {
        renderer_->renderAudio(float_.data(), frames_, kChannels);
        auto* out = reinterpret_cast<int16_t*>(header.lpData);
        for (size_t i = 0; i < float_.size(); ++i) {
            const float v = std::clamp(float_[i], -1.0f, 1.0f) * 32767.0f;
            out[i] = static_cast<int16_t>(std::lrint(v));
        }
        waveOutWrite(wave_, &header, sizeof(WAVEHDR));
    }

    // The player's audio thread on Windows.
    void renderLoop() {
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        for (WAVEHDR& header : headers_) fill(header);
        while (running_.load()) {
            WaitForSingleObject(event_, 200);
            for (WAVEHDR& header : headers_)
                if (running_.load() && (header.dwFlags & WHDR_DONE) != 0) fill(header);
        }
    }

    HWAVEOUT wave_ = nullptr;
    HANDLE event_ = nullptr;
    WAVEHDR headers_[kBuffers] = {};
    std::vector<int16_t> pcm_[kBuffers];
    std::vector<float> float_;
    int frames_ = 0;
    AudioRenderer* renderer_ = nullptr;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace

std::unique_ptr<AudioOutput> AudioOutput::create(const std::string& preferred, std::string& error) {
    if (!preferred.empty() && preferred != "winmm") {
        error = "no audio system named " + preferred + " (winmm)";
        return nullptr;
    }
    if (waveOutGetNumDevs() == 0) {
        error = "no audio output device (winmm lists none)";
        return nullptr;
    }
    return std::make_unique<WinmmAudioOutput>();
}
