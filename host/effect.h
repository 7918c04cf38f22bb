// The main plug-in object: what the host sees, and the owner of the loaded
// project, the user programs, the settings and the render state.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/relaxed_atomic.h"
#include "host/held_host_parameters.h"
#include "host/midi_queues.h"
#include "host/module_program_requests.h"
#include "host/pending_notes.h"
#include "host/program_record.h"
#include "host/settings.h"
#include "modulehost/slot_owner.h"
#include "modules/dsp_tables.h"
#include "platform/platform.h"
#include "track/gain_tables.h"
#include "track/track_owner.h"
#include "vst/audioeffectx.h"

class CInstrument;
class CPlugin;
class Editor;
struct Project;

constexpr int kNumUserPrograms = 24;
constexpr int kNumHostParameters = 80;
constexpr int kNumOutputPairsMulti = 10;
constexpr int kMaxBlockFrames = 16384;

// Private parameter indices read by the maker's stand-alone host.
constexpr VstInt32 kParamSampleRateSetting = 0x20000;
constexpr VstInt32 kParamBufferSizeSetting = 0x20001;
constexpr VstInt32 kParamAudioDevice = 0x20002;
constexpr VstInt32 kParamMidiDevice = 0x20003;

// Vendor-specific dispatcher call that starts or stops the demonstration
// performance (the editor's Preview switch does the same): index
// kVendorDemoIndex, value kVendorDemoValue, opt 1 to start, 0 to stop.
constexpr VstInt32 kVendorDemoIndex = vstFourCC('T', 'l', 'v', 'x');
constexpr VstIntPtr kVendorDemoValue = vstFourCC('D', 'e', 'm', 'o');
// The same index with value kVendorProjectValue loads built-in project
// number opt into the current program, as the editor's project list does.
constexpr VstIntPtr kVendorProjectValue = vstFourCC('P', 'r', 'o', 'j');

class Effect : public AudioEffectX, public SlotOwner, public TrackOwner {
public:
    explicit Effect(audioMasterCallback audioMaster);
    ~Effect() override;

    // Host interface.
    void close() override;
    void setProgram(VstInt32 program) override;
    VstInt32 getProgram() override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    VstInt32 processEvents(VstEvents* events) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return 1; }
    VstInt32 getVstVersion() override { return kVstVersion; }
    VstPlugCategory getPlugCategory() override { return kPlugCategSynth; }
    VstInt32 canDo(char* /*text*/) override { return 0; }
    VstInt32 getTailSize() override { return 0; }
    VstInt32 getNumMidiInputChannels() override { return 0; }
    VstInt32 getNumMidiOutputChannels() override { return 0; }
    VstInt32 getCurrentMidiProgram(VstInt32 /*channel*/, MidiProgramName* /*current*/) override { return -1; }
    // The rate in force is the one the host reports in each block's time
    // information; the rate given here stands in when that one is unusable.
    // Rates outside 8000 ... 384000 Hz are ignored.
    void setSampleRate(float sampleRate) override;
    // The longest block the host means to send: modules created from now on
    // hear it, and the pages such blocks write are made resident on the
    // calling thread rather than in the first block.
    void setBlockSize(VstInt32 frames) override;
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    // SlotOwner and TrackOwner.
    int moduleSampleRate() const override { return sampleRateHz_; }
    int moduleBlockSize() const override { return blockSize; }
    std::string pluginDirectory() const override;
    std::atomic<int>& editCounter() override { return editCounter_; }
    std::atomic<bool>& renderInProgress() override { return renderInProgress_; }
    bool projectInUse() override { return renderInProgress_.load() || projectUsers_.load() > 0; }
    VstTimeInfo* moduleTimeInfo() override { return &moduleTimeInfo_; }

    // Render engine interface used by tracks, the sequencer and the editor.
    // Audio thread unless stated.
    void dispatchMidi(const uint8_t data[3], int frame);
    void sendToSlot(CPlugin* slot, int frameOffset, int list, int status, int data1, int data2) override;
    // A played message for a slot's live list, dispatched at this block frame.
    void sendLiveToSlot(CPlugin* slot, int dispatchFrame, int status, int data1, int data2) override;
    bool addPendingNote(CPlugin* slot, int key, int velocity, int frameOffset, int transposition) override {
        return pendingNotes_.add(PendingNote{slot, key, velocity, frameOffset, transposition});
    }
    // Drops every waiting note; only while the renderer is excluded (the
    // project loader, before it destroys the tracks).
    void forgetPendingNotes() { pendingNotes_.clear(); }
    void stopPendingKey(const CPlugin* slot, int key, int frameOffset) override {
        pendingNotes_.stopKey(slot, key, frameOffset);
    }
    void stopAll();
    // effMainsChanged: switched back on, the engine forgets what it played
    // before. The audio thread clears at the start of its next block.
    void resume() override { signalClearRequest_.store(true); }
    // Any thread: asks the renderer to start (1) or stop (0) the demonstration.
    void requestDemonstration(int request) { demoRequest_.store(request); }
    bool demonstrationPlaying() const { return demoPlaying_.load() != 0; }
    // Any thread: whether tracks whose signal has died away sleep until
    // their module sounds again (on by default; off renders every track in
    // full, the reference the tests compare with).
    void setSleepWhenQuiet(bool on) { sleepWhenQuiet_.store(on, std::memory_order_relaxed); }

    // State read by tracks, balls and the editor.
    const GainTables& gainTables() const override { return gains_; }
    bool multiOutputMode() const { return multiOutput_; }
    bool standaloneHost() const { return standaloneHost_; }
    float crossfadeGainA() const { return crossfadeGainA_; }
    float crossfadeGainB() const { return crossfadeGainB_; }
    float masterMeterLeft() const { return meterLeft_; }
    float masterMeterRight() const { return meterRight_; }
    int midiActivity() const { return midiActivity_; }
    double samplesPerStep() const override { return samplesPerStep_; }
    // Frame offsets of the step boundaries of the last block, for the
    // editor's step indicator (at most kMaxStepMarks are kept).
    static constexpr int kMaxStepMarks = 8;
    int stepMarkCount() const { return stepMarkCount_; }
    int stepMark(int i) const { return stepMarks_[i]; }
    int currentStep() const override { return step_; }
    bool hostPlaying() const { return hostPlaying_; }
    // The step clock runs the sequencers: the host plays with the play switch
    // on, the demonstration plays, or the stand-alone host's switch is on.
    // Any thread.
    bool sequencerRunning() const override {
        return (hostPlaying_ && running_ != 0.0f && playSwitch.load() != 0.0f) || demoPlaying_.load() != 0 ||
               (standaloneHost_ && playSwitch.load() != 0.0f);
    }
    int timeSignatureNumerator() const override { return timeSigNumerator_; }
    float tempoInForce() const { return tempoInForce_; }
    Project* project() { return project_.get(); }
    CPlugin* sendBus(int s) override;
    std::atomic<int>& programChangeCounter() { return programChangeCounter_; }
    const Settings& settings() const { return settings_; }
    Settings& settings() { return settings_; }

    // Performance values (0..127 unless stated), written by programs, the
    // editor and the project loader while the audio thread reads them.
    Relaxed<float> projectTempo{120.0f};
    Relaxed<float> masterLevel{127.0f};
    Relaxed<float> crossfade{0.0f};
    Relaxed<float> synchroSwitch{0.0f};
    Relaxed<float> liveTransposition{0.0f};
    Relaxed<float> arpeggiatorSwitch{1.0f};
    Relaxed<float> playSwitch{1.0f};
    Relaxed<float> muteKeySwitch{0.0f};
    Relaxed<float> muteKey{48.0f};
    Relaxed<float> playController{0.0f};
    Relaxed<float> padX{128.0f};
    Relaxed<float> padY{64.0f};
    // The owner's pad is round: flying balls bounce off its circle, and the
    // editor draws its planet pad in circular mode (read when it opens).
    Relaxed<bool> roundPad{true};
    // On: a pattern change made by chaining or random play also moves the
    // selected pattern, so the editor and the drum machine show what plays.
    Relaxed<float> followSelection{1.0f};
    // The switches as tracks read them.
    bool synchroOn() const override { return synchroSwitch.load() != 0.0f; }
    bool arpeggiatorsOn() const override { return arpeggiatorSwitch.load() != 0.0f; }
    float liveTranspositionValue() const override { return liveTransposition.load(); }
    bool followsSelection() const override { return followSelection.load() != 0.0f; }
    float padPositionX() const override { return padX.load(); }
    float padPositionY() const override { return padY.load(); }
    bool padIsRound() const override { return roundPad.load(); }

    // Project loader, inside its edit section (the renderer is excluded).
    // A new project starts from the same state in every instance: the
    // instance's random generator reseeded, its own clock at step 0, no send
    // tail, the master gains at the project's values. Counts the loads.
    void beginProjectLoad();
    void endProjectLoad();
    int projectLoadCount() const { return projectLoads_.load(); }
    // A seed for one of a track's generators (ball jumps, random patterns and
    // the arpeggiator), drawn from the instance's uniform generator of
    // integers 0 to 32767, so that the tracks of a project draw the same
    // numbers in every instance and on every platform. Loader thread.
    uint32_t nextTrackSeed() override { return static_cast<uint32_t>(random_.next()) + 1u; }

    // Timer thread: one entry of the program-change queue per tick.
    void pumpProgramChanges();

    // Bracket for whoever replaces the project or the current program on a
    // thread other than the audio thread: raises the program-change counter
    // and waits (at most 5000 ms) until no block is rendering.
    void beginProgramChange();
    void endProgramChange();

private:
    friend class EffectTestAccess;

    // Construction steps that later parts fill in.
    void readSettings();
    void writeSettings();
    void buildProjectList();
    void createDefaultPrograms();
    void loadDefaultBank();
    void storeDefaultBank();

public:
    // Change program: a built-in project (user false) or a user program
    // (user true), loading its project when load is set. Any thread but the
    // audio thread; serialised with the other writers of the programs.
    void changeProgram(int index, bool user, bool load);
    // Stores the current performance into user program index.
    void storeCurrentState(int index);
    // Bank files (".fxb"): exactly the bytes of a bank chunk. Saving appends
    // ".fxb" unless the name is at least five characters and ends in ".fxb"
    // (case-sensitive) and returns the name written, empty on failure.
    // Loading hands the file to setChunk as a bank; false when the file
    // cannot be read or is refused. User-interface thread.
    std::string saveBankFile(const std::string& path);
    bool loadBankFile(const std::string& path);
    // Replaces the loaded project by the built-in project of that name;
    // false (and nothing changed) when there is no such project.
    bool loadBuiltInProject(const std::string& name);
    const std::vector<std::string>& projectNames() const { return projectNames_; }
    std::string currentProjectName();
    std::string loadedProjectName();
    // Program records, for the editor and tests (lock programMutex()).
    std::vector<ProgramRecord>& programRecords() { return programs_; }
    std::recursive_mutex& programMutex() { return programMutex_; }

    // Editor operations on the user bank (user-interface thread).
    // Replaces the 24 user programs by empty records.
    void resetUserBank();
    // Stores the current performance into a user slot from the editor: the
    // program name becomes entryText, or the current project name when that
    // is empty or "-"; the slot then becomes the current program without
    // loading its project. False (nothing stored) for a slot outside 0..23.
    bool storeFromEditor(int slot, const std::string& entryText);
    // Renames user program slot (an empty name is stored as "-").
    void setUserProgramName(int slot, const std::string& name);
    std::string userProgramName(int slot);
    // Writes the user bank to its default place, and the settings now.
    void saveDefaultBank() { storeDefaultBank(); }
    void saveSettings() { writeSettings(); }
    // Any thread: the next block sends All Notes Off to every track's module
    // and closes the mute gate, as controller 123 does.
    void requestAllNotesOff() { allNotesOffRequest_.store(true); }

    // Editor thread: track's main module changes to its own program n at
    // the start of the next block (the editor's sound list). Not stored in
    // any user program; a new project load undoes it. False when there is
    // no such track or program, or too many requests are waiting.
    bool requestMainModuleProgram(int track, int program);
    // Any thread: the program the track's main module plays (-1: unknown).
    int mainModuleProgram(int track) const { return moduleProgramRequests_.current(track); }

    // Admission of a thread other than the audio thread that reads or writes
    // the tracks and balls (host parameter calls, the editor). Never blocks;
    // a refused caller leaves the project alone.
    class ProjectAccess;

private:
    // reloadProject: load the project even when it is the loaded one.
    void changeProgramLocked(int index, bool user, bool load, bool reloadProject);
    // Parses a chunk into the program records (all 24, or the current one);
    // false, and nothing changed, when it is refused. programMutex_ held.
    bool readChunkIntoRecords(const void* data, VstInt32 byteSize, bool isPreset);
    // The records of a first start and of "New", from the built-in default
    // bank. programMutex_ held.
    void readDefaultProgramsLocked();
    void storeCurrentStateLocked(int index);
    void applyProgramRecord(const ProgramRecord& record);
    // A host parameter carried to the tracks and the current program's
    // record; the caller has the tracks (admitted, or the writer itself).
    void applyHostParameter(int index, float value);
    // The values held while the tracks were out of reach, carried to them.
    void applyHeldHostParameters();

    // Render steps.
    void renderBlock(float** outputs, VstInt32 frames);
    void handleTransport(const VstTimeInfo& host);
    void runStepClock(VstInt32 frames);
    void silenceTracks(VstInt32 frames);
    // Audio thread: every module's state and the smoothed gains as when the
    // project had just been loaded (tails, delay lines, envelopes, LFOs);
    // what the user set (balls, levels, patterns) stays.
    void clearSignal();
    double demonstrationFramesPerFrame() const;
    void alignDemonstrationStart();
    // Step numbers stay ints: positions beyond this many steps (a host's
    // garbage position, not a session) are held at the limit.
    static constexpr int kMaxStepNumber = 1 << 29;
    void clearOutputs(float** outputs, VstInt32 frames);
    void applySampleRate(int rate);
    // Audio thread, at the start of a block: the editor's module program
    // changes.
    void applyModuleProgramRequests();
    // Loader, inside its edit section: what the new modules play.
    void mirrorMainModulePrograms();
    static void timerTick(void* context);

    // Fixed at construction.
    bool standaloneHost_ = false;
    bool multiOutput_ = false;
    Settings settings_;
    GainTables gains_{};

    // Loaded project and its exclusion.
    std::unique_ptr<Project> project_;
    std::atomic<int> editCounter_{0};
    std::atomic<int> programChangeCounter_{0};
    std::atomic<bool> renderInProgress_{false};
    // Threads other than the renderer reading or writing the tracks right
    // now (host parameter calls, the editor), each through a ProjectAccess;
    // writers wait for them as for the renderer, and they never wait
    // themselves.
    std::atomic<int> projectUsers_{0};
    HeldHostParameters heldParameters_;
    // Whether a block has rendered since the project was loaded: its
    // modules then hold state (voices, LFO phases, effect tails) that no
    // chunk carries.
    Relaxed<bool> projectPlayed_{false};
    std::atomic<int> projectLoads_{0};
    static constexpr uint32_t kRandomSeed = 1;
    dsp::Random15 random_{kRandomSeed};
    // When the renderer first found a writer's counter up (stallTimed_).
    uint32_t stallStartMs_ = 0;
    bool stallTimed_ = false;

    // Render state (audio thread).
    float tempoInForce_ = 120.0f;
    Relaxed<int> timeSigNumerator_{4};
    int timeSigDenominator_ = 4;
    int sampleRateHz_ = 44100;
    Relaxed<double> dispatcherRateHz_{0.0};
    float masterLevelTarget_ = 127.0f;
    float masterGain_ = 1.0f;
    float crossfadeGainA_ = 0.0f;
    float crossfadeGainB_ = 0.0f;
    Relaxed<float> meterLeft_{0.0f};
    Relaxed<float> meterRight_{0.0f};
    Relaxed<bool> muteGateOpen_{false};
    Relaxed<bool> hostPlaying_{false};
    Relaxed<float> running_{0.0f};
    int step_ = 0;
    double samplesPerStep_ = 5512.5;
    int nextStepOffset_ = 0;
    int stepMarks_[kMaxStepMarks] = {};
    int stepMarkCount_ = 0;
    double ownPosition_ = 0.0;
    double hostPosition_ = 0.0;
    std::atomic<int> demoRequest_{-1};
    std::atomic<int> demoPlaying_{0};
    std::atomic<bool> allNotesOffRequest_{false};
    std::atomic<bool> signalClearRequest_{false};
    std::atomic<bool> sleepWhenQuiet_{true};
    bool masterGainsJump_ = false;
    size_t demoCursor_ = 0;
    double demoClock_ = 0.0;  // frames at 44100 Hz and the written tempo
    bool demoStartPending_ = false;
    bool tracksSilenced_ = false;
    Relaxed<int> midiActivity_{0};
    IncomingMidiQueue incoming_;
    PendingNoteList pendingNotes_;
    ProgramChangeQueue programChanges_;
    ModuleProgramRequests moduleProgramRequests_;
    int sendTailFrames_[4] = {0, 0, 0, 0};  // frames each send bus still runs
    // Frames each master insert has been fed exact silence and been quiet.
    int masterInsertQuietFrames_[2] = {0, 0};
    VstTimeInfo moduleTimeInfo_{};

    // Programs (user interface and timer threads).
    std::recursive_mutex programMutex_;
    std::vector<std::string> projectNames_;
    std::string currentProjectName_;
    std::string currentProgramName_;
    std::string loadedProjectName_;
    Relaxed<int> currentProgram_{0};
    std::vector<ProgramRecord> programs_;
    std::vector<uint8_t> chunkBuffer_;

    Editor* editorView_ = nullptr;
    platform::PeriodicTimer timer_;
};

// Admission of a host thread that reads or writes the tracks and balls: like
// the renderer it announces itself first and then checks the counters
// (sequentially consistent), so a project replacement either waits for it
// or is seen by it. It never blocks; refused callers touch only the program
// record.
class Effect::ProjectAccess {
public:
    explicit ProjectAccess(Effect& effect) : effect_(effect) {
        effect_.projectUsers_.fetch_add(1);
        admitted_ = effect_.editCounter_.load() == 0 && effect_.programChangeCounter_.load() == 0 &&
                    effect_.project_ != nullptr;
    }
    ~ProjectAccess() { effect_.projectUsers_.fetch_sub(1); }
    ProjectAccess(const ProjectAccess&) = delete;
    ProjectAccess& operator=(const ProjectAccess&) = delete;
    bool admitted() const { return admitted_; }

private:
    Effect& effect_;
    bool admitted_ = false;
};
