// The audio engine of the main object: MIDI intake, transport and step
// clock, demonstration performance, MIDI dispatch, tracks, send buses and
// the master section. Audio thread only; nothing here allocates, locks,
// waits or prints.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/tempo_range.h"
#include "editor/editor.h"
#include "host/render_exclusion.h"
#include "host/effect.h"
#include "host/master_mix.h"
#include "modulehost/cplugin.h"
#include "project/project.h"
#include "track/instrument.h"

namespace {
constexpr int kMidiActivityHold = 5000;
constexpr float kMeterSilence = 0.0001f;
constexpr float kSendActiveGain = 0.00002f;
// A send bus rings on after its last input until its output has stayed
// below -120 dBFS for 7 s: longer than the longest echo gap (16 sixteenths
// at the slowest tempo, 6 s), so a delay's quiet stretch between repeats
// does not end its tail. Counted in frames, so the tail is the same at
// every block size.
constexpr float kSendTailSilence = 1.0e-6f;
constexpr double kSendTailQuietSeconds = 7.0;
constexpr VstInt32 kTimeInfoRequest = 0xffff;
constexpr int kMaxTimeSignatureValue = 64;

// A key or controller number held as a float; -1 (matching nothing) when
// it is not one, which also keeps NaN away from the conversion.
int midiNumber(float value) { return value >= 0.0f && value < 128.0f ? static_cast<int>(value) : -1; }

// Every sample +0 or -0 (NaN and denormals count as sound).
bool exactSilence(const float* channel, VstInt32 frames) {
    uint32_t bits = 0;
    for (VstInt32 i = 0; i < frames; ++i) bits |= std::bit_cast<uint32_t>(channel[i]) & 0x7fffffffu;
    return bits == 0;
}

void silenceNonFinite(float* channel, VstInt32 frames) {
    if (channel == nullptr) return;
    for (VstInt32 i = 0; i < frames; ++i)
        if (!std::isfinite(channel[i])) channel[i] = 0.0f;
}
}  // namespace

VstInt32 Effect::processEvents(VstEvents* events) {
    if (events == nullptr) return 1;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = events->events[i];
        if (event == nullptr) break;
        if (event->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        midiActivity_ = kMidiActivityHold;
        const uint8_t data[3] = {static_cast<uint8_t>(midi->midiData[0]), static_cast<uint8_t>(midi->midiData[1]),
                                 static_cast<uint8_t>(midi->midiData[2])};
        const int status = data[0];
        if (muteKeySwitch.load() != 0.0f && status >= 0x80 && status <= 0x9F &&
            data[1] == midiNumber(muteKey.load())) {
            muteGateOpen_ = status >= 0x90 && data[2] > 0;
            continue;
        }
        const int controller = midiNumber(playController.load());
        if (controller != 0 && status >= 0xB0 && status <= 0xBF && data[1] == controller) {
            playSwitch = data[2] > 0 ? 1.0f : 0.0f;
            if (editorView_ != nullptr) editorView_->setPlayButton(playSwitch.load());
            continue;
        }
        incoming_.push(midi->deltaFrames, data);
    }
    return 1;
}

void Effect::clearOutputs(float** outputs, VstInt32 frames) {
    if (outputs == nullptr) return;
    for (VstInt32 c = 0; c < cEffect.numOutputs; ++c)
        if (outputs[c] != nullptr) std::memset(outputs[c], 0, sizeof(float) * static_cast<size_t>(frames));
}

void Effect::processReplacing(float** /*inputs*/, float** outputs, VstInt32 sampleFrames) {
    if (sampleFrames <= 0) return;

    // Guard: a writer that never lowers its counter must not silence the
    // plug-in forever. The stall is timed from the first block a counter
    // kept out, so the clock is read only while one is up (a read costs a
    // good part of a microsecond on some machines), and a writer that
    // comes after the host stopped calling for a while is not taken for a
    // stuck one.
    if (editCounter_.load() > 0 || programChangeCounter_.load() > 0) {
        const uint32_t now = platform::tickCountMs();
        if (!stallTimed_) {
            stallTimed_ = true;
            stallStartMs_ = now;
        } else if (now - stallStartMs_ > kRendererWaitLimitMs) {
            editCounter_.store(0);
            stallTimed_ = false;
        }
    } else {
        stallTimed_ = false;
    }
    const int activity = midiActivity_.load();
    midiActivity_ = activity > 0 ? std::max(activity - sampleFrames, 0) : 0;

    VstTimeInfo* hostInfo = getTimeInfo(kTimeInfoRequest);
    // The flag goes up before the counters are checked, so a writer that
    // raised its counter either sees the flag or is seen here.
    renderInProgress_.store(true);
    if (hostInfo == nullptr || editCounter_.load() > 0 || programChangeCounter_.load() > 0) {
        renderInProgress_.store(false);
        clearOutputs(outputs, sampleFrames);
        return;
    }
    VstTimeInfo host = *hostInfo;
    projectPlayed_ = true;
    applyModuleProgramRequests();
    applyHeldHostParameters();

    // Module buffers hold 16384 frames; longer host blocks render in pieces.
    VstInt32 done = 0;
    float* pieceOutputs[2 * kNumOutputPairsMulti];
    while (done < sampleFrames) {
        const VstInt32 frames = std::min<VstInt32>(sampleFrames - done, kMaxBlockFrames);
        float** out = nullptr;
        if (outputs != nullptr) {
            for (VstInt32 c = 0; c < cEffect.numOutputs; ++c)
                pieceOutputs[c] = outputs[c] != nullptr ? outputs[c] + done : nullptr;
            out = pieceOutputs;
        }
        handleTransport(host);
        incoming_.runBlock(frames, [this](const IncomingMidiQueue::Entry& e, VstInt32 frame) {
            dispatchMidi(e.data, static_cast<int>(frame));
        });
        runStepClock(frames);
        if (out != nullptr)
            renderBlock(out, frames);
        else
            silenceTracks(frames);
        done += frames;
        host.samplePos += frames;
        host.flags &= ~kVstTransportChanged;
    }
    renderInProgress_.store(false);
}

void Effect::handleTransport(const VstTimeInfo& host) {
    Project& p = *project_;
    // 1. Transport edges.
    const bool playing = (host.flags & kVstTransportPlaying) != 0;
    if (playing && !hostPlaying_) {
        hostPlaying_ = true;
        for (auto& t : p.tracks) t->onTransportStart();
    } else if (!playing && hostPlaying_) {
        hostPlaying_ = false;
        for (auto& t : p.tracks) sendToSlot(&t->mainSlot(), 0, 0, 0xB0, 123, 0);
    }

    // 2. Time information for modules, mostly from the previous block's state.
    moduleTimeInfo_.tempo = tempoInForce_;
    moduleTimeInfo_.sampleRate = sampleRateHz_;
    moduleTimeInfo_.samplePos = (playSwitch.load() != 0.0f && !hostPlaying_) ? ownPosition_ : hostPosition_;
    moduleTimeInfo_.nanoSeconds = 0.0;
    moduleTimeInfo_.timeSigNumerator = timeSigNumerator_;
    moduleTimeInfo_.timeSigDenominator = timeSigDenominator_;
    moduleTimeInfo_.ppqPos = moduleTimeInfo_.samplePos / moduleTimeInfo_.sampleRate * moduleTimeInfo_.tempo / 60.0;
    if (running_ != 0.0f || playSwitch.load() != 0.0f) moduleTimeInfo_.flags |= kVstTransportPlaying;

    // 3. Running.
    running_ = hostPlaying_ ? 1.0f : 0.0f;

    // 4. Sample rate. A rate outside what the engine runs at (0, NaN, a
    // garbage double) is no rate: the one given by setSampleRate stands in,
    // else the rate in force stays.
    double rate = static_cast<double>(sampleRateHz_);
    if (usableSampleRate(host.sampleRate))
        rate = host.sampleRate;
    else if (usableSampleRate(dispatcherRateHz_.load()))
        rate = dispatcherRateHz_.load();
    if (static_cast<int>(rate) != sampleRateHz_) applySampleRate(static_cast<int>(rate));

    // 5. Host position; a non-finite one counts as the start.
    hostPosition_ = std::isfinite(host.samplePos) ? host.samplePos : 0.0;

    // 6. Demonstration requests, and a clear after the host switched the
    // plug-in back on.
    if (signalClearRequest_.exchange(false)) clearSignal();
    if (allNotesOffRequest_.exchange(false)) stopAll();
    const int request = demoRequest_.exchange(-1);
    if (request >= 0) {
        demoPlaying_.store(request);
        if (request == 0) stopAll();
        demoCursor_ = 0;
        demoClock_ = 0.0;
        demoStartPending_ = request != 0;
        playSwitch = 1.0f;
    }

    // 7, 8. Tempo and step length. A host that reports no usable tempo gets
    // the project's, so that the step length stays finite.
    const bool hostTempoUsable = (host.flags & kVstTempoValid) != 0 && usableHostTempo(host.tempo);
    if ((demoPlaying_.load() != 0 && !hostPlaying_) || standaloneHost_ || !hostTempoUsable) {
        tempoInForce_ = repairTempo(projectTempo.load());
        if ((demoPlaying_.load() != 0 && !hostPlaying_) || standaloneHost_) {
            timeSigNumerator_ = 4;
            timeSigDenominator_ = 4;
        }
    } else {
        tempoInForce_ = static_cast<float>(host.tempo);
    }
    if (!((demoPlaying_.load() != 0 && !hostPlaying_) || standaloneHost_)) {
        if ((host.flags & kVstTimeSigValid) != 0) {
            timeSigNumerator_ = std::clamp(host.timeSigNumerator, 1, kMaxTimeSignatureValue);
            timeSigDenominator_ = std::clamp(host.timeSigDenominator, 1, kMaxTimeSignatureValue);
        }
    }
    // At most 999 BPM and at least 8000 Hz: a step is never shorter than 120
    // frames.
    samplesPerStep_ = 60.0 / tempoInForce_ * 0.25 * rate;
}

void Effect::setSampleRate(float sampleRate) {
    if (usableSampleRate(sampleRate)) dispatcherRateHz_ = static_cast<double>(sampleRate);
}

void Effect::applySampleRate(int rate) {
    sampleRateHz_ = rate;
    // Every loaded slot hears of the new rate: inserts, master inserts and
    // send effects as well as the tracks' instruments, so that tempo-locked
    // delays and filter corners stay right.
    project_->forEachSlot([rate](CPlugin& slot) {
        if (!slot.loaded()) return;
        slot.dispatch(effMainsChanged, 0, 0, nullptr, 0.0f);
        slot.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
        slot.dispatch(effSetBlockSize, 0, 0, nullptr, 0.0f);
        slot.dispatch(effMainsChanged, 0, 1, nullptr, 0.0f);
    });
}

void Effect::clearSignal() {
    // A module's effMainsChanged(1) empties its lines and voices.
    project_->forEachSlot([](CPlugin& slot) {
        if (!slot.loaded()) return;
        slot.dispatch(effMainsChanged, 0, 0, nullptr, 0.0f);
        slot.dispatch(effMainsChanged, 0, 1, nullptr, 0.0f);
    });
    for (auto& t : project_->tracks) t->clearSignal();
    for (int& frames : sendTailFrames_) frames = 0;
    for (int& frames : masterInsertQuietFrames_) frames = 0;
    masterGainsJump_ = true;
}

void Effect::silenceTracks(VstInt32 frames) {
    // A block that renders no track still empties the slots' lists, or they
    // would fill while the gate is shut (dropping note-offs at 2000) and then
    // burst out when it opens. The modules hear All Notes Off once, as the
    // silence begins, so that no note-on they heard lacks its end.
    for (auto& t : project_->tracks) {
        CPlugin& slot = t->mainSlot();
        slot.discardEvents();
        if (tracksSilenced_ || !slot.loaded()) continue;
        slot.sendEvent(kImmediateEvents, 0, 0xB0, 123, 0);
        slot.deliverEvents(frames, sampleRateHz_);
    }
    tracksSilenced_ = true;
}

double Effect::demonstrationFramesPerFrame() const {
    // Demonstration times are frames at 44100 Hz and the tempo the project
    // was written at; they run at the rate and tempo in force.
    const float written = project_->writtenTempoBpm;
    const double writtenTempo = written > 0.0f ? written : kDefaultTempoBpm;
    return 44100.0 / sampleRateHz_ * tempoInForce_ / writtenTempo;
}

void Effect::alignDemonstrationStart() {
    // The performance starts on a step boundary, so that it begins together
    // with the patterns: the plug-in's own clock starts again at step 0; the
    // host's clock cannot be moved, so the performance waits for its next
    // boundary.
    const bool ownClock = playSwitch.load() != 0.0f && !hostPlaying_;
    if (ownClock) {
        ownPosition_ = 0.0;
        demoClock_ = 0.0;
        return;
    }
    const double limit = static_cast<double>(kMaxStepNumber) * samplesPerStep_;
    const double position = std::clamp(hostPosition_, -limit, limit);
    const double toBoundary = std::ceil(position / samplesPerStep_) * samplesPerStep_ - position;
    demoClock_ = -toBoundary * demonstrationFramesPerFrame();
}

void Effect::runStepClock(VstInt32 frames) {
    Project& p = *project_;

    // Demonstration performance: each event is dispatched at the frame of
    // this block where the clock reaches its time.
    if (demoPlaying_.load() != 0) {
        if (demoStartPending_) {
            demoStartPending_ = false;
            alignDemonstrationStart();
        }
        const double perFrame = demonstrationFramesPerFrame();
        const std::vector<VstMidiEvent>& demo = p.demoEvents;
        while (demoCursor_ < demo.size()) {
            const VstMidiEvent& e = demo[demoCursor_];
            // The small margin keeps an event that falls exactly on a frame
            // (a step boundary) from slipping to the frame before it.
            const double at = std::floor((static_cast<double>(e.deltaFrames) - demoClock_) / perFrame + 1e-6);
            if (at >= frames) break;
            ++demoCursor_;
            const uint8_t data[3] = {static_cast<uint8_t>(e.midiData[0]), static_cast<uint8_t>(e.midiData[1]),
                                     static_cast<uint8_t>(e.midiData[2])};
            dispatchMidi(data, at > 0.0 ? static_cast<int>(at) : 0);
        }
        demoClock_ += frames * perFrame;
        if (demoCursor_ >= demo.size()) {
            int expected = -1;
            demoRequest_.compare_exchange_strong(expected, 0);
            if (editorView_ != nullptr) editorView_->setPreviewSwitch(0.0f);
        }
    }

    // The step grid is laid from the position at the start of this block, for
    // the plug-in's own clock as for the host's.
    const bool ownClock = playSwitch.load() != 0.0f && !hostPlaying_;
    const double rawPosition = ownClock ? ownPosition_ : hostPosition_;
    ownPosition_ += frames;

    // The step number stays an int: positions beyond that many steps (a
    // host's garbage position, not a session) are held at the limit.
    const double positionLimit = static_cast<double>(kMaxStepNumber) * samplesPerStep_;
    const double position = std::clamp(rawPosition, -positionLimit, positionLimit);
    step_ = static_cast<int>(std::floor(position / samplesPerStep_));

    const bool masterSynchro = synchroSwitch.load() != 0.0f;
    for (auto& t : p.tracks)
        if (masterSynchro || t->synchro.load() != 0.0f) t->lockToStep(step_);

    // Boundary k falls on frame floor(k · step length - position) of this
    // block, worked out afresh for every k: then a boundary near a block
    // border lands in exactly one block. (An offset accumulated step by step
    // and truncated toward zero put a boundary that fell on the last frame
    // of a block into the next block as well, ticking it twice.)
    const double stepFrames = samplesPerStep_;
    const auto frameOf = [stepFrames, position](int k) {
        return static_cast<int>(std::floor(static_cast<double>(k) * stepFrames - position));
    };
    while (frameOf(step_) < 0) ++step_;
    nextStepOffset_ = frameOf(step_);

    const bool mayRun = sequencerRunning();
    stepMarkCount_ = 0;
    // Steps are at least 120 frames long (999 BPM at 8000 Hz); the pass
    // bound holds whatever the step length is.
    for (int pass = 0; nextStepOffset_ < frames && pass <= frames; ++pass) {
        if (step_ >= 0) {
            if (stepMarkCount_ < kMaxStepMarks) stepMarks_[stepMarkCount_++] = nextStepOffset_;
            if (mayRun) {
                for (auto& t : p.tracks) t->stepTick(nextStepOffset_);
            } else {
                for (auto& t : p.tracks) t->stoppedStepTick(nextStepOffset_);
            }
        }
        ++step_;
        nextStepOffset_ = frameOf(step_);
    }

    pendingNotes_.runBlock(frames, [this](const PendingNote& n) {
        const int key = n.key + n.transposition;
        if (key < 0 || key > 127 || n.slot == nullptr) return;
        if (n.velocity != 0)
            sendToSlot(n.slot, n.frameOffset + 2, 0, 0x90, key, n.velocity);
        else
            sendToSlot(n.slot, n.frameOffset, 0, 0x80, key, 0);
    });
}

void Effect::sendToSlot(CPlugin* slot, int frameOffset, int list, int status, int data1, int data2) {
    if (slot == nullptr) return;
    slot->sendEvent(list == 0 ? kImmediateEvents : kLiveEvents, frameOffset, status, data1, data2);
}

void Effect::sendLiveToSlot(CPlugin* slot, int dispatchFrame, int status, int data1, int data2) {
    if (slot == nullptr) return;
    slot->sendEvent(kLiveEvents, 0, status, data1, data2, dispatchFrame);
}

void Effect::stopAll() {
    // The keys the tracks counted as held go too: an arpeggio running on
    // the plug-in's own steps would otherwise play on after a stopped
    // demonstration or Stop all.
    for (auto& t : project_->tracks) {
        t->releaseHeldKeys();
        sendToSlot(&t->mainSlot(), 0, 0, 0xB0, 123, 0);
    }
    muteGateOpen_ = false;
}

void Effect::dispatchMidi(const uint8_t data[3], int frame) {
    const int status = data[0];
    if (status < 0x80 || status > 0xEF) return;
    const int channelCode = (status & 0x0F) + 2;
    const int type = status & 0xF0;
    Project& p = *project_;

    if (type == 0xC0) {
        programChanges_.push(ProgramChangeQueue::Entry{data[1], true});
        return;
    }
    if (type == 0xB0) {
        const int k = data[1];
        const int v = data[2];
        if (k == 123) {
            muteGateOpen_ = false;
            for (auto& t : p.tracks) {
                t->releaseHeldKeys();
                sendToSlot(&t->mainSlot(), 0, 0, 0xB0, 123, 0);
            }
        } else if (k == 1) {
            padX = 64.0f;
            padY = 64.0f;
            for (auto& t : p.tracks) t->resetBallMovement();
            if (editorView_ != nullptr) editorView_->redrawPad();
        } else if (k == 0) {
            if (v <= 15)
                for (auto& t : p.tracks) t->selectPattern(v);
        }
        for (auto& t : p.tracks)
            if (t->mainSlot().loaded()) t->applyBallController(channelCode, k, v);
    }
    for (auto& t : p.tracks) t->routeMidi(data, channelCode, frame);
}

void Effect::renderBlock(float** outputs, VstInt32 frames) {
    Project& p = *project_;
    clearOutputs(outputs, frames);

    masterLevelTarget_ = masterLevel.load();
    if (muteKeySwitch.load() != 0.0f && !muteGateOpen_.load()) {
        masterLevelTarget_ = 0.0f;
        if (meterLeft_.load() < kMeterSilence && meterRight_.load() < kMeterSilence) {
            silenceTracks(frames);
            return;
        }
    }
    tracksSilenced_ = false;
    for (CPlugin& send : p.sendSlots)
        if (send.loaded())
            for (int c = 0; c < send.inputBufferCount(); ++c)
                std::memset(send.inputs()[c], 0, sizeof(float) * static_cast<size_t>(frames));

    const double beatFrames = static_cast<double>(sampleRateHz_) * 60.0 / timeSigDenominator_ / tempoInForce_;
    const double automationFraction = 1.0 - nextStepOffset_ / beatFrames;

    TrackRenderContext context{};
    context.frames = frames;
    context.sampleRate = sampleRateHz_;
    context.master[0] = outputs[0];
    context.master[1] = outputs[1];
    context.automationFraction = automationFraction;
    context.replayAutomation = running_ != 0.0f && hostPlaying_;
    context.crossfadeGainA = crossfadeGainA_;
    context.crossfadeGainB = crossfadeGainB_;
    context.sleepWhenQuiet = sleepWhenQuiet_.load(std::memory_order_relaxed);
    context.gains = &gains_;
    for (int s = 0; s < kNumSends; ++s)
        if (p.sendSlots[s].loaded()) context.sendInputs[s] = p.sendSlots[s].inputs();
    context.pad = padStateOf(*this);
    int trackIndex = 0;
    for (auto& t : p.tracks) {
        if (multiOutput_ && trackIndex < 8) {
            context.ownPair[0] = outputs[2 + 2 * trackIndex];
            context.ownPair[1] = outputs[3 + 2 * trackIndex];
        } else {
            context.ownPair[0] = context.ownPair[1] = nullptr;
        }
        t->render(context);
        ++trackIndex;
    }

    // Send buses: each runs while fed and, after, until its tail is quiet.
    const int tailQuietFrames = static_cast<int>(kSendTailQuietSeconds * sampleRateHz_);
    for (int b = 0; b < 4; ++b) {
        CPlugin& bus = p.sendSlots[b];
        if (!bus.loaded()) continue;
        bool fed = false;
        // A sleeping track adds nothing to the buses; an effect that cannot
        // rest keeps running while a send is up, asleep or not. One with an
        // oscillator of its own rests with its clock running on, so that it
        // stays in phase.
        const bool rests = restsWhenQuiet(bus.effect());
        for (auto& t : p.tracks)
            if ((!rests || !t->asleep()) && t->smoothedSendGain(b) > kSendActiveGain) fed = true;
        if (fed) {
            sendTailFrames_[b] = tailQuietFrames;
        } else if (sendTailFrames_[b] <= 0) {
            if (keepsClockWhileResting(bus.effect())) bus.rest(frames);
            continue;
        }
        bus.processOwnBuffers(frames);
        if (bus.effect()->numOutputs < 1) {
            sendTailFrames_[b] -= frames;
            continue;
        }
        float* const* busOut = bus.outputs();
        const float* const busPair[2] = {busOut[0], bus.effect()->numOutputs > 1 ? busOut[1] : busOut[0]};
        // The effects pair carries the sum of every bus processed.
        float* const effectsPair[2] = {multiOutput_ ? outputs[18] : nullptr, multiOutput_ ? outputs[19] : nullptr};
        const float busPeak = addSendBus(outputs, multiOutput_ ? effectsPair : nullptr, busPair, frames);
        if (busPeak > kSendTailSilence && !fed)
            sendTailFrames_[b] = tailQuietFrames;
        else
            sendTailFrames_[b] -= frames;
    }

    // Master inserts. One fed exact silence whose output has stayed quiet
    // for as long as a send's tail must rests (its output is then taken as
    // silence), with its clock running on where it has one.
    float* current[2] = {outputs[0], outputs[1]};
    for (int m = 0; m < 2; ++m) {
        CPlugin& insert = p.masterInserts[m];
        if (p.masterInsertOn[m].load() == 0.0f || !insert.loaded()) continue;
        const bool silentInput = exactSilence(current[0], frames) && exactSilence(current[1], frames);
        if (!silentInput || !restsWhenQuiet(insert.effect()) || !sleepWhenQuiet_.load(std::memory_order_relaxed))
            masterInsertQuietFrames_[m] = 0;
        if (masterInsertQuietFrames_[m] >= tailQuietFrames) {
            if (keepsClockWhileResting(insert.effect())) insert.rest(frames);
            continue;
        }
        insert.processInto(current, frames);
        float* const* out = insert.outputs();
        current[0] = out[0];
        current[1] = insert.effect()->numOutputs > 1 ? out[1] : out[0];
        if (silentInput && restsWhenQuiet(insert.effect())) {
            float peak = 0.0f;
            for (VstInt32 i = 0; i < frames; ++i)
                peak = std::max(peak, std::max(std::fabs(current[0][i]), std::fabs(current[1][i])));
            if (peak <= kSendTailSilence)
                masterInsertQuietFrames_[m] = std::min(masterInsertQuietFrames_[m] + frames, tailQuietFrames);
            else
                masterInsertQuietFrames_[m] = 0;
        }
    }

    // Master level, limit and meters.
    const int fade = GainTables::index(crossfade.load());
    const float fadeTargetA = gains_.crossfade[127 - fade];
    const float fadeTargetB = gains_.crossfade[fade];
    const float levelTarget = gains_.level[GainTables::index(masterLevelTarget_)];
    if (masterGainsJump_) {
        masterGainsJump_ = false;
        crossfadeGainA_ = fadeTargetA;
        crossfadeGainB_ = fadeTargetB;
        masterGain_ = levelTarget;
        meterLeft_ = 0.0f;
        meterRight_ = 0.0f;
    }
    MasterMixState state{crossfadeGainA_, crossfadeGainB_, masterGain_, meterLeft_.load(), meterRight_.load()};
    mixMaster(current, outputs, frames, MasterMixTargets{fadeTargetA, fadeTargetB, levelTarget}, state);
    // The tracks' own pairs and the effects pair do not pass the master
    // limit, but no pin hands the host a sample that is not finite.
    if (multiOutput_)
        for (VstInt32 c = 2; c < cEffect.numOutputs; ++c) silenceNonFinite(outputs[c], frames);
    crossfadeGainA_ = state.crossfadeA;
    crossfadeGainB_ = state.crossfadeB;
    masterGain_ = state.gain;
    meterLeft_ = state.meterLeft;
    meterRight_ = state.meterRight;

    if (editorView_ != nullptr) editorView_->feedScope(current[0], current[1], frames);
}
