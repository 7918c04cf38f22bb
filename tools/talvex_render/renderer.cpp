#include "tools/talvex_render/renderer.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "tools/talvex_render/console.h"
#include "tools/talvex_render/editor_schedule.h"
#include "tools/talvex_render/event_sources.h"
#include "tools/vst_host/plugin_library.h"
#include "tools/talvex_render/session_files.h"
#include "tools/talvex_render/progress_bar.h"
#include "tools/talvex_render/render_host.h"
#include "tools/talvex_render/standalone_host_version.h"
#include "tools/talvex_render/transport.h"
#include "tools/talvex_render/wav_writer.h"

namespace {

// The events of one block in the form processEvents takes. The VstEvents
// record is variable-length: its pointer array runs past the declared two
// entries, so it lives in storage sized for the block.
class BlockEvents {
public:
    VstEvents* build(const std::vector<TimedEvent>& events, size_t first, size_t last, int64_t blockStart) {
        midi_.clear();
        sysex_.clear();
        size_t count = 0;
        for (size_t i = first; i < last; ++i)
            if (events[i].kind != TimedEvent::Kind::Parameter) ++count;
        if (count == 0) return nullptr;
        midi_.reserve(count);
        sysex_.reserve(count);
        const size_t bytes = std::max(sizeof(VstEvents), offsetof(VstEvents, events) + count * sizeof(VstEvent*));
        storage_.assign((bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t), std::max_align_t{});
        auto* list = reinterpret_cast<VstEvents*>(storage_.data());
        list->numEvents = static_cast<VstInt32>(count);
        list->reserved = 0;
        VstEvent** slots = list->events;
        size_t slot = 0;
        for (size_t i = first; i < last; ++i) {
            const TimedEvent& event = events[i];
            const VstInt32 delta = static_cast<VstInt32>(event.frame - blockStart);
            if (event.kind == TimedEvent::Kind::Midi) {
                VstMidiEvent midi{};
                midi.type = kVstMidiType;
                midi.byteSize = sizeof(VstMidiEvent);
                midi.deltaFrames = delta;
                for (size_t b = 0; b < event.bytes.size() && b < 3; ++b)
                    midi.midiData[b] = static_cast<char>(event.bytes[b]);
                midi_.push_back(midi);
                slots[slot++] = reinterpret_cast<VstEvent*>(&midi_.back());
            } else if (event.kind == TimedEvent::Kind::Sysex) {
                VstMidiSysexEvent dump{};
                dump.type = kVstSysExType;
                dump.byteSize = sizeof(VstMidiSysexEvent);
                dump.deltaFrames = delta;
                dump.dumpBytes = static_cast<VstInt32>(event.bytes.size());
                dump.sysexDump = reinterpret_cast<char*>(const_cast<uint8_t*>(event.bytes.data()));
                sysex_.push_back(dump);
                slots[slot++] = reinterpret_cast<VstEvent*>(&sysex_.back());
            }
        }
        return list;
    }

private:
    std::vector<VstMidiEvent> midi_;
    std::vector<VstMidiSysexEvent> sysex_;
    std::vector<std::max_align_t> storage_;
};

bool writeAutomationLog(const std::vector<AutomationRecord>& records, const std::string& path, std::FILE* out,
                        std::string& error) {
    std::FILE* file = path == "-" ? out : std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = "cannot create " + path;
        return false;
    }
    std::fprintf(file, "# frame parameter value\n");
    for (const AutomationRecord& record : records) {
        const long long frame = static_cast<long long>(record.frame);
        if (record.kind == AutomationRecord::Kind::BeginEdit)
            std::fprintf(file, "%lld begin %d\n", frame, record.index);
        else if (record.kind == AutomationRecord::Kind::EndEdit)
            std::fprintf(file, "%lld end %d\n", frame, record.index);
        else
            std::fprintf(file, "%lld %d %.9g\n", frame, record.index, static_cast<double>(record.value));
    }
    bool ok = std::ferror(file) == 0;
    if (file != out && std::fclose(file) != 0) ok = false;
    if (!ok) error = "cannot write " + path;
    return ok;
}

}  // namespace

int runRender(const RenderOptions& options, std::FILE* out, std::FILE* log) {
    std::string error;
    auto fail = [&](int code, const std::string& message) {
        std::fprintf(log, "talvex-render: %s\n", message.c_str());
        return code;
    };

    // Inputs first: a typo in a file name should not cost a plug-in load.
    EventTimeline timeline;
    if (!loadMidiTempo(options, timeline, error)) return fail(kRenderBadInput, error);
    TransportSettings settings;
    settings.sampleRate = options.sampleRate;
    settings.tempoBpm = options.tempoGiven ? options.tempoBpm
                        : timeline.midiTempoKnown ? timeline.midiTempoBpm
                                                  : options.tempoBpm;
    if (options.timeSignatureGiven || !timeline.midiTimeSignatureKnown) {
        settings.timeSigNumerator = options.timeSigNumerator;
        settings.timeSigDenominator = options.timeSigDenominator;
    } else {
        settings.timeSigNumerator = timeline.midiTimeSigNumerator;
        settings.timeSigDenominator = timeline.midiTimeSigDenominator;
    }
    settings.playing = !options.startStopped;
    if (!loadEventTimeline(options, settings.tempoBpm, timeline, error)) return fail(kRenderBadInput, error);

    Transport transport(settings);
    for (const std::string& text : options.transportChanges) {
        TransportChange change;
        if (!parseTransportChange(text, options.sampleRate, settings.tempoBpm, change, error))
            return fail(kRenderBadCommandLine, error);
        transport.schedule(change);
    }

    int64_t totalFrames = 0;
    if (options.durationGiven) {
        totalFrames = timeValueToFrames(options.duration, options.sampleRate, settings.tempoBpm);
    } else if (timeline.hasInput) {
        totalFrames = timeline.endFrame + timeValueToFrames(options.tail, options.sampleRate, settings.tempoBpm);
    } else if (!options.infoOnly) {
        return fail(kRenderBadCommandLine, "nothing sets the length of the render: give --duration or MIDI input");
    }

    PluginLibrary library;
    if (!library.open(options.pluginPath, error)) return fail(kRenderPluginFailed, error);

    HostIdentity identity;
    if (options.standaloneHost) identity.version = kRenderStandaloneHostVersion;
    RenderHost host(identity, options.sampleRate, options.blockSize);
    host.setAnswersTimeInfo(!options.noTimeInfo);

    AEffect* effect = library.entry()(RenderHost::callback);
    if (effect == nullptr) return fail(kRenderPluginFailed, "the plug-in declined to start (its entry returned null)");
    if (effect->magic != kEffectMagic) return fail(kRenderPluginFailed, "the entry point returned no VST effect");
    PluginSession session(effect);
    if (options.verbose)
        std::fprintf(log, "loaded %s through %s: %d inputs, %d outputs\n", options.pluginPath.c_str(),
                     library.entryName(), effect->numInputs, effect->numOutputs);

    // The order hosts commonly use: open, rate and block size, then state,
    // then resume.
    session.dispatch(effOpen);
    session.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(options.sampleRate));
    session.dispatch(effSetBlockSize, 0, options.blockSize);
    session.dispatch(effSetProcessPrecision, 0, 0);

    if (options.infoOnly) {
        std::fprintf(out, "plug-in: %s\nentry: %s\n", options.pluginPath.c_str(), library.entryName());
        printPluginInfo(session, out);
        return kRenderOk;
    }

    // Set-up in command-line order, so that each option acts on the state
    // the ones before it left (a parameter set after a project load stays).
    for (const SetupStep& step : options.setup) {
        switch (step.kind) {
            case SetupStep::Kind::Chunk: {
                const std::string& path = options.chunkFiles[step.index];
                if (!loadChunkFile(session, options, path, error)) return fail(kRenderBadInput, error);
                if (options.verbose) std::fprintf(log, "loaded %s\n", path.c_str());
                break;
            }
            case SetupStep::Kind::Program: {
                const int32_t program = options.programs[step.index];
                if (program >= effect->numPrograms)
                    return fail(kRenderBadCommandLine, "program " + std::to_string(program) + " does not exist (" +
                                                           std::to_string(effect->numPrograms) + " programs)");
                session.dispatch(effBeginSetProgram);
                session.dispatch(effSetProgram, 0, program);
                session.dispatch(effEndSetProgram);
                break;
            }
            case SetupStep::Kind::Parameter: {
                const auto& [index, value] = options.parameters[step.index];
                if (index >= effect->numParams)
                    return fail(kRenderBadCommandLine, "parameter " + std::to_string(index) + " does not exist");
                session.setParameter(index, value);
                break;
            }
            case SetupStep::Kind::VendorCall: {
                const VendorCall& call = options.vendorCalls[step.index];
                const VstIntPtr result = session.dispatch(effVendorSpecific, call.index, call.value, nullptr, call.opt);
                if (options.verbose)
                    std::fprintf(log, "set-up: effVendorSpecific(%d, %lld, %g) returned %lld\n", call.index,
                                 static_cast<long long>(call.value), static_cast<double>(call.opt),
                                 static_cast<long long>(result));
                break;
            }
        }
    }

    const int outputs = effect->numOutputs;
    if (outputs < 1) return fail(kRenderPluginFailed, "the plug-in has no outputs");
    const int channels = options.allOutputs ? outputs : std::min(outputs, 2);
    const int sampleRate = static_cast<int>(options.sampleRate);
    std::unique_ptr<AudioFileWriter> writer =
        openWavFile(options.outputPath, channels, sampleRate, options.sampleFormat, error);
    if (!writer) return fail(kRenderOutputFailed, error);

    // Buffers for every pin the plug-in declares, whether written out or not.
    const size_t block = static_cast<size_t>(options.blockSize);
    std::vector<std::vector<float>> inputStorage(static_cast<size_t>(std::max(effect->numInputs, 0)),
                                                 std::vector<float>(block, 0.0f));
    std::vector<std::vector<float>> outputStorage(static_cast<size_t>(outputs), std::vector<float>(block, 0.0f));
    std::vector<float*> inputs, outputPointers;
    for (auto& buffer : inputStorage) inputs.push_back(buffer.data());
    for (auto& buffer : outputStorage) outputPointers.push_back(buffer.data());
    inputs.push_back(nullptr);  // a valid array even without inputs

    std::vector<VendorCall> vendorCalls;
    for (const VendorCall& call : options.vendorCalls)
        if (!call.setUp) vendorCalls.push_back(call);
    std::stable_sort(vendorCalls.begin(), vendorCalls.end(), [&](const VendorCall& a, const VendorCall& b) {
        return timeValueToFrames(a.at, options.sampleRate, settings.tempoBpm) <
               timeValueToFrames(b.at, options.sampleRate, settings.tempoBpm);
    });
    size_t nextVendorCall = 0;

    bool showProgress = options.progress == RenderOptions::Progress::Always ||
                        (options.progress == RenderOptions::Progress::Auto && console::stderrIsTerminal() &&
                         static_cast<double>(totalFrames) >= kProgressMinimumSeconds * options.sampleRate);
    ProgressBar progress(log, totalFrames, options.sampleRate, showProgress);

    session.dispatch(effMainsChanged, 0, 1);
    session.dispatch(effStartProcess);

    BlockEvents blockEvents;
    size_t nextEvent = 0;
    const auto startTime = std::chrono::steady_clock::now();
    bool written = true;
    auto renderAll = [&]() {
        for (int64_t frame = 0; frame < totalFrames;) {
            const VstInt32 frames = static_cast<VstInt32>(std::min<int64_t>(options.blockSize, totalFrames - frame));
            host.setBlockFrame(frame);
            host.setTimeInfo(transport.beginBlock(frame));

            while (nextVendorCall < vendorCalls.size() &&
                   timeValueToFrames(vendorCalls[nextVendorCall].at, options.sampleRate, settings.tempoBpm) <= frame) {
                const VendorCall& call = vendorCalls[nextVendorCall++];
                VstIntPtr result = session.dispatch(effVendorSpecific, call.index, call.value, nullptr, call.opt);
                if (options.verbose)
                    std::fprintf(log, "frame %lld: effVendorSpecific(%d, %lld, %g) returned %lld\n",
                                 static_cast<long long>(frame), call.index, static_cast<long long>(call.value),
                                 static_cast<double>(call.opt), static_cast<long long>(result));
            }

            size_t lastEvent = nextEvent;
            while (lastEvent < timeline.events.size() && timeline.events[lastEvent].frame < frame + frames) ++lastEvent;
            // Parameter changes reach the plug-in between process calls, as a
            // host's automation does.
            for (size_t i = nextEvent; i < lastEvent; ++i) {
                const TimedEvent& event = timeline.events[i];
                if (event.kind == TimedEvent::Kind::Parameter && event.parameterIndex < effect->numParams)
                    session.setParameter(event.parameterIndex, event.parameterValue);
            }
            if (VstEvents* list = blockEvents.build(timeline.events, nextEvent, lastEvent, frame))
                session.dispatch(effProcessEvents, 0, 0, list);
            nextEvent = lastEvent;

            for (auto& buffer : outputStorage) std::fill(buffer.begin(), buffer.begin() + frames, 0.0f);
            session.processReplacing(inputs.data(), outputPointers.data(), frames);
            transport.endBlock(frames);
            if (written && !writer->write(outputPointers.data(), frames)) written = false;

            frame += frames;
            progress.update(frame);
            console::pumpThreadMessages();
            if (options.realtime) {
                auto due = startTime + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                           std::chrono::duration<double>(static_cast<double>(frame) / options.sampleRate));
                std::this_thread::sleep_until(due);
            }
        }
    };

    if (options.showEditorSeconds > 0.0) {
        // The editor runs where the chosen host runs it: LMMS on the thread
        // that created the plug-in with audio on another; Ardour on a
        // thread of its own.
        std::string editorError;
        bool editorOk = true;
        auto editor = [&]() { editorOk = runEditorSchedule(session, options, out, editorError); };
        const bool ardour = options.editorOrder == RenderOptions::EditorOrder::Ardour;
        std::thread worker(ardour ? std::function<void()>(editor) : std::function<void()>(renderAll));
        if (ardour)
            renderAll();
        else
            editor();
        worker.join();
        if (!editorOk) {
            session.dispatch(effStopProcess);
            session.dispatch(effMainsChanged, 0, 0);
            return fail(kRenderPluginFailed, "editor: " + editorError);
        }
    } else {
        renderAll();
    }
    progress.finish();

    session.dispatch(effStopProcess);
    session.dispatch(effMainsChanged, 0, 0);
    int result = kRenderOk;
    if (!options.finalStateFile.empty() && !saveFinalState(session, options.finalStateFile, error))
        result = fail(kRenderOutputFailed, error);
    if (!options.saveChunkFile.empty() && !saveBankChunk(session, options.saveChunkFile, false, error))
        result = fail(kRenderOutputFailed, error);
    if (!options.saveFxbFile.empty() && !saveBankChunk(session, options.saveFxbFile, true, error))
        result = fail(kRenderOutputFailed, error);
    session.close();
    library.close();

    if (!writer->close(error) || !written) return fail(kRenderOutputFailed, error.empty() ? "write failed" : error);
    if (!options.automationLog.empty() &&
        !writeAutomationLog(host.automation(), options.automationLog, out, error))
        return fail(kRenderOutputFailed, error);
    if (options.verbose)
        std::fprintf(log, "rendered %lld frames, %d channels, to %s\n", static_cast<long long>(totalFrames), channels,
                     options.outputPath.c_str());
    return result;
}
