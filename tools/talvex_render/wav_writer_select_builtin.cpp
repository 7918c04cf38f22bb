// Builds without libsndfile (Windows) write through the built-in writer.
#include "tools/talvex_render/wav_writer.h"

std::unique_ptr<AudioFileWriter> openWavFile(const std::string& path, int channels, int sampleRate,
                                             SampleFormat format, std::string& error) {
    return openBuiltinWavFile(path, channels, sampleRate, format, error);
}
