#include <rtaudio/RtAudio.h>

#include <atomic>
#include <cstdlib>

#include "tools/player/audio_output.h"

namespace {

struct ApiChoice {
    RtAudio::Api api;
    const char* name;
};
// The order in which the interfaces are tried.
const ApiChoice kApis[] = {
    {RtAudio::UNIX_JACK, "jack"}, {RtAudio::LINUX_PULSE, "pulse"}, {RtAudio::LINUX_ALSA, "alsa"}};

constexpr unsigned kChannels = 2;

class RtAudioOutput final : public AudioOutput {
public:
    RtAudioOutput(std::unique_ptr<RtAudio> audio, const ApiChoice& choice)
        : audio_(std::move(audio)), choice_(choice) {}
    ~RtAudioOutput() override { close(); }

    std::string systemName() const override { return choice_.name; }

    std::vector<std::string> deviceNames() override {
        std::vector<std::string> names;
        try {
            const unsigned count = audio_->getDeviceCount();
            for (unsigned i = 0; i < count; ++i) {
                const RtAudio::DeviceInfo info = audio_->getDeviceInfo(i);
                if (info.probed && info.outputChannels > 0) names.push_back(info.name);
            }
        } catch (const std::exception&) {
        }
        return names;
    }

    bool open(const AudioStreamRequest& request, AudioRenderer* renderer, AudioStreamInfo& info,
              std::string& error) override {
        close();
        try {
            unsigned device = audio_->getDefaultOutputDevice();
            const unsigned count = audio_->getDeviceCount();
            for (unsigned i = 0; i < count; ++i) {
                const RtAudio::DeviceInfo candidate = audio_->getDeviceInfo(i);
                if (candidate.probed && candidate.outputChannels > 0 && candidate.name == request.device) {
                    device = i;
                    break;
                }
            }
            const RtAudio::DeviceInfo chosen = audio_->getDeviceInfo(device);
            if (!chosen.probed || chosen.outputChannels == 0) {
                error = "no audio output device";
                return false;
            }
            unsigned rate = static_cast<unsigned>(request.sampleRate);
            const bool serverRules = choice_.api == RtAudio::UNIX_JACK;
            if (serverRules) {
                // JACK runs at the server's rate and period, whatever was asked.
                rate = chosen.preferredSampleRate != 0 ? chosen.preferredSampleRate
                       : !chosen.sampleRates.empty()   ? chosen.sampleRates.front()
                                                       : rate;
            }
            RtAudio::StreamParameters output;
            output.deviceId = device;
            output.nChannels = chosen.outputChannels < kChannels ? chosen.outputChannels : kChannels;
            output.firstChannel = 0;
            RtAudio::StreamOptions options;
            options.streamName = "talvex";
            options.numberOfBuffers = 2;
            unsigned frames = static_cast<unsigned>(request.bufferFrames);
            channels_ = static_cast<int>(output.nChannels);
            // Published for the audio thread, with the channel count and
            // everything the renderer built before.
            renderer_.store(renderer, std::memory_order_release);
            audio_->openStream(&output, nullptr, RTAUDIO_FLOAT32, rate, &frames, &RtAudioOutput::callback, this,
                               &options);
            renderer->prepareAudio(static_cast<int>(audio_->getStreamSampleRate()), static_cast<int>(frames));
            audio_->startStream();
            info.device = chosen.name;
            info.sampleRate = static_cast<int>(audio_->getStreamSampleRate());
            info.bufferFrames = static_cast<int>(frames);
            info.channels = channels_;
            info.serverFixesFormat = serverRules;
            return true;
        } catch (const std::exception& failure) {
            error = failure.what();
            close();
            return false;
        }
    }

    void close() override {
        try {
            if (audio_->isStreamRunning()) audio_->stopStream();
            if (audio_->isStreamOpen()) audio_->closeStream();
        } catch (const std::exception&) {
        }
    }

    bool isOpen() const override { return audio_->isStreamOpen(); }

private:
    static int callback(void* output, void* /*input*/, unsigned frames, double /*time*/,
                        RtAudioStreamStatus /*status*/, void* user) {
        auto* self = static_cast<RtAudioOutput*>(user);
        AudioRenderer* renderer = self->renderer_.load(std::memory_order_acquire);
        renderer->renderAudio(static_cast<float*>(output), static_cast<int>(frames), self->channels_);
        return 0;
    }

    std::unique_ptr<RtAudio> audio_;
    ApiChoice choice_;
    std::atomic<AudioRenderer*> renderer_{nullptr};
    int channels_ = 0;
};

}  // namespace

std::unique_ptr<AudioOutput> AudioOutput::create(const std::string& preferred, std::string& error) {
    // Probing must never start a JACK server of its own.
    setenv("JACK_NO_START_SERVER", "1", 0);
    std::vector<RtAudio::Api> compiled;
    RtAudio::getCompiledApi(compiled);
    std::string tried;
    for (const ApiChoice& choice : kApis) {
        if (!preferred.empty() && preferred != choice.name) continue;
        bool built = false;
        for (RtAudio::Api api : compiled) built = built || api == choice.api;
        if (!built) continue;
        try {
            auto audio = std::make_unique<RtAudio>(choice.api);
            audio->showWarnings(false);
            auto output = std::make_unique<RtAudioOutput>(std::move(audio), choice);
            if (!output->deviceNames().empty()) return output;
        } catch (const std::exception&) {
        }
        tried += tried.empty() ? choice.name : std::string(", ") + choice.name;
    }
    if (tried.empty())
        error = "no audio system named " + preferred + " (jack, pulse, alsa)";
    else
        error = "no audio output device (tried " + tried + ")";
    return nullptr;
}
