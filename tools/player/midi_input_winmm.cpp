// MIDI input on the Windows multimedia midiIn API. The driver's callback
// only hands the short message on to the receiver (which queues it).
#include <windows.h>
#include <mmsystem.h>

#include "tools/player/midi_input.h"

namespace {

std::vector<std::string> midiInNames() {
    std::vector<std::string> names;
    const UINT count = midiInGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        MIDIINCAPSA caps{};
        if (midiInGetDevCapsA(i, &caps, sizeof(caps)) == MMSYSERR_NOERROR) names.emplace_back(caps.szPname);
    }
    return names;
}

size_t messageLength(uint8_t status) {
    if (status >= 0xF8) return 1;                           // real time
    if ((status & 0xE0) == 0xC0 || status == 0xF3 || status == 0xF1) return 2;  // program, pressure, song select
    if (status == 0xF6) return 1;
    return 3;
}

class WinmmMidiInput final : public MidiInput {
public:
    ~WinmmMidiInput() override { close(); }
    std::string systemNames() const override { return "winmm"; }
    std::vector<std::string> portNames() override { return midiInNames(); }

    bool open(const std::string& port, MidiReceiver* receiver, std::string& error) override {
        close();
        if (port.empty()) {
            error = "no MIDI input chosen";
            return false;
        }
        const std::vector<std::string> names = midiInNames();
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] != port) continue;
            receiver_ = receiver;
            const MMRESULT result = midiInOpen(&input_, static_cast<UINT>(i), reinterpret_cast<DWORD_PTR>(&callback),
                                               reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
            if (result != MMSYSERR_NOERROR) {
                input_ = nullptr;
                error = "midiInOpen failed with error " + std::to_string(result);
                return false;
            }
            midiInStart(input_);
            return true;
        }
        error = "no MIDI input named " + port;
        return false;
    }

    void close() override {
        if (input_ == nullptr) return;
        midiInStop(input_);
        midiInReset(input_);
        midiInClose(input_);
        input_ = nullptr;
    }

private:
    static void CALLBACK callback(HMIDIIN, UINT message, DWORD_PTR user, DWORD_PTR data, DWORD_PTR) {
        if (message != MIM_DATA) return;
        auto* self = reinterpret_cast<WinmmMidiInput*>(user);
        const uint8_t bytes[3] = {static_cast<uint8_t>(data & 0xff), static_cast<uint8_t>((data >> 8) & 0xff),
                                  static_cast<uint8_t>((data >> 16) & 0xff)};
        if ((bytes[0] & 0x80) == 0) return;
        self->receiver_->receiveMidi(bytes, messageLength(bytes[0]));
    }

    HMIDIIN input_ = nullptr;
    MidiReceiver* receiver_ = nullptr;
};

}  // namespace

std::unique_ptr<MidiInput> MidiInput::create(const std::string& preferred) {
    (void)preferred;  // one system only
    return std::make_unique<WinmmMidiInput>();
}
