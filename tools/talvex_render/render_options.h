// What a talvex-render run is asked to do, as read from its command line.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/talvex_render/time_value.h"
#include "tools/talvex_render/wav_writer.h"

struct VendorCall {
    int32_t index = 0;
    intptr_t value = 0;
    float opt = 0.0f;
    TimeValue at;  // sent before the first block that starts at or after this time
    // Without a time (or at 0) the call is part of the set-up and goes in
    // its place on the command line.
    bool setUp = true;
};

// One set-up option, applied before rendering in the order given: a chunk
// file, a program, a parameter or an untimed vendor call. index points into
// the list of its kind.
struct SetupStep {
    enum class Kind { Chunk, Program, Parameter, VendorCall };
    Kind kind = Kind::Chunk;
    size_t index = 0;
};

struct RenderOptions {
    enum class ChunkType { Auto, Bank, Program };
    enum class Progress { Auto, Always, Never };

    std::string pluginPath;
    std::string outputPath;
    bool infoOnly = false;
    bool verbose = false;

    double sampleRate = 44100.0;
    int32_t blockSize = 512;
    bool durationGiven = false;
    TimeValue duration;
    TimeValue tail{TimeValue::Unit::Seconds, 2.0};

    std::vector<std::string> midiFiles;
    std::vector<std::string> eventFiles;

    bool tempoGiven = false;
    double tempoBpm = 120.0;
    bool timeSignatureGiven = false;
    int timeSigNumerator = 4;
    int timeSigDenominator = 4;
    bool startStopped = false;
    std::vector<std::string> transportChanges;  // play@T, stop@T, locate@T=Q, tempo@T=BPM, sig@T=N/D
    bool noTimeInfo = false;
    bool standaloneHost = false;

    std::vector<int32_t> programs;
    std::vector<std::string> chunkFiles;
    ChunkType chunkType = ChunkType::Auto;
    bool forceChunk = false;
    std::vector<std::pair<int32_t, float>> parameters;
    std::vector<VendorCall> vendorCalls;
    // Chunks, programs, parameters and untimed vendor calls in command-line
    // order: a parameter given after a vendor call that loads a project is
    // applied after that load, and the other way round.
    std::vector<SetupStep> setup;
    std::string saveChunkFile;  // raw bank chunk
    std::string saveFxbFile;    // the same wrapped as an FBCh bank file
    std::string finalStateFile; // program, its name and every parameter after the render

    SampleFormat sampleFormat = SampleFormat::Float32;
    bool allOutputs = false;
    std::string automationLog;  // "-" for standard output
    Progress progress = Progress::Auto;
    bool realtime = false;

    // The editor shown while rendering (a test host for plug-in windows).
    enum class EditorOrder { Lmms, Ardour };
    double showEditorSeconds = -1.0;  // < 0: no editor
    EditorOrder editorOrder = EditorOrder::Lmms;
    int editorCycles = 1;             // open/close this many times within the time
    double editorHideAfterSeconds = -1.0;
    bool editorCloseTwice = false;
    bool editorDestroyParentFirst = false;
    std::string editorInfoFile;       // window ids, written once the editor is up
};

// False with a message on a bad command line; help is true when the user
// asked for the usage text.
bool parseRenderOptions(const std::vector<std::string>& arguments, RenderOptions& options, bool& help,
                        std::string& error);
const char* renderUsage();
