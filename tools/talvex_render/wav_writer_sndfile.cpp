#include <sndfile.h>

#include <vector>

#include "tools/talvex_render/wav_writer.h"

namespace {

class SndfileWavWriter final : public AudioFileWriter {
public:
    SndfileWavWriter(SNDFILE* file, int channels) : file_(file), channels_(channels) {}
    ~SndfileWavWriter() override {
        std::string ignored;
        close(ignored);
    }

    bool write(const float* const* channels, int32_t frames) override {
        if (file_ == nullptr || !ok_) return false;
        interleaved_.resize(static_cast<size_t>(frames) * channels_);
        for (int32_t i = 0; i < frames; ++i)
            for (int c = 0; c < channels_; ++c) interleaved_[static_cast<size_t>(i) * channels_ + c] = channels[c][i];
        if (sf_writef_float(file_, interleaved_.data(), frames) != frames) ok_ = false;
        return ok_;
    }

    bool close(std::string& error) override {
        if (file_ == nullptr) return ok_;
        if (!ok_) error = sf_strerror(file_);
        if (sf_close(file_) != 0 && ok_) {
            ok_ = false;
            error = "cannot complete the WAV file";
        }
        file_ = nullptr;
        return ok_;
    }

private:
    SNDFILE* file_;
    int channels_;
    bool ok_ = true;
    std::vector<float> interleaved_;
};

}  // namespace

std::unique_ptr<AudioFileWriter> openWavFile(const std::string& path, int channels, int sampleRate,
                                             SampleFormat format, std::string& error) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | (format == SampleFormat::Float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        error = "cannot create " + path + ": " + sf_strerror(nullptr);
        return nullptr;
    }
    // Clip instead of wrapping when float samples beyond full scale become
    // 16-bit, and keep the file free of the optional PEAK chunk.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    return std::make_unique<SndfileWavWriter>(file, channels);
}
