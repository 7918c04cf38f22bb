#include "tools/samplegen/sample_file_writer.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace samplegen {

namespace {

int sndfileFormat(FileForm form) {
    switch (form) {
        case FileForm::Wav16: return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        case FileForm::Wav24: return SF_FORMAT_WAV | SF_FORMAT_PCM_24;
        case FileForm::WavFloat: return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        case FileForm::WavExtensible24: return SF_FORMAT_WAVEX | SF_FORMAT_PCM_24;
        case FileForm::WavExtensibleFloat: return SF_FORMAT_WAVEX | SF_FORMAT_FLOAT;
        case FileForm::Aiff16: return SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
        case FileForm::Aiff24: return SF_FORMAT_AIFF | SF_FORMAT_PCM_24;
    }
    return 0;
}

// Round to the nearest step of a signed integer of `bits` bits.
int32_t quantise(double v, int bits) {
    const double fullScale = static_cast<double>((1 << (bits - 1)) - 1);
    double scaled = std::clamp(v, -1.0, 1.0) * fullScale;
    return static_cast<int32_t>(std::lround(scaled));
}

}  // namespace

bool writeSampleFile(const RenderedSample& sample, FileForm form, const std::string& path, std::string& error) {
    const int channels = static_cast<int>(sample.channels.size());
    if (channels < 1 || channels > 2) {
        error = "a sample has one or two channels";
        return false;
    }
    const size_t frames = sample.channels[0].size();
    SF_INFO info;
    std::memset(&info, 0, sizeof(info));
    info.samplerate = static_cast<int>(sample.rateHz);
    info.channels = channels;
    info.format = sndfileFormat(form);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        error = std::string("cannot create ") + path + ": " + sf_strerror(nullptr);
        return false;
    }
    // The peak chunk carries a time stamp, which would make every run's
    // bytes differ.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);

    if (sample.pitched && !isAiff(form)) {
        SF_INSTRUMENT instrument;
        std::memset(&instrument, 0, sizeof(instrument));
        instrument.basenote = static_cast<char>(sample.rootNote);
        instrument.velocity_lo = 1;
        instrument.velocity_hi = 127;
        instrument.key_lo = 0;
        instrument.key_hi = 127;
        if (sample.hasLoop) {
            instrument.loop_count = 1;
            instrument.loops[0].mode = SF_LOOP_FORWARD;
            instrument.loops[0].start = sample.loopStartFrame;
            // libsndfile takes the end as the frame after the loop and
            // stores the last frame inside it, as the chunk defines.
            instrument.loops[0].end = sample.loopEndFrame;
            instrument.loops[0].count = 0;
        }
        sf_command(file, SFC_SET_INSTRUMENT, &instrument, sizeof(instrument));
    }

    sf_count_t written = 0;
    const size_t values = frames * static_cast<size_t>(channels);
    switch (form) {
        case FileForm::Wav16:
        case FileForm::Aiff16: {
            std::vector<short> data(values);
            for (size_t f = 0; f < frames; ++f) {
                for (int c = 0; c < channels; ++c) {
                    data[f * channels + c] = static_cast<short>(quantise(sample.channels[c][f], 16));
                }
            }
            written = sf_writef_short(file, data.data(), static_cast<sf_count_t>(frames));
            break;
        }
        case FileForm::Wav24:
        case FileForm::WavExtensible24:
        case FileForm::Aiff24: {
            // libsndfile keeps the upper 24 bits of each int.
            std::vector<int> data(values);
            for (size_t f = 0; f < frames; ++f) {
                for (int c = 0; c < channels; ++c) {
                    data[f * channels + c] = static_cast<int>(static_cast<uint32_t>(quantise(sample.channels[c][f], 24)) << 8);
                }
            }
            written = sf_writef_int(file, data.data(), static_cast<sf_count_t>(frames));
            break;
        }
        case FileForm::WavFloat:
        case FileForm::WavExtensibleFloat: {
            std::vector<float> data(values);
            for (size_t f = 0; f < frames; ++f) {
                for (int c = 0; c < channels; ++c) {
                    data[f * channels + c] = static_cast<float>(std::clamp(sample.channels[c][f], -1.0, 1.0));
                }
            }
            written = sf_writef_float(file, data.data(), static_cast<sf_count_t>(frames));
            break;
        }
    }
    int closed = sf_close(file);
    if (written != static_cast<sf_count_t>(frames) || closed != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace samplegen
