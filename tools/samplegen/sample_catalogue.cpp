#include "tools/samplegen/sample_catalogue.h"

#include "tools/samplegen/drum_sounds.h"
#include "tools/samplegen/keys_mallet_sounds.h"
#include "tools/samplegen/kit_sounds.h"
#include "tools/samplegen/melodic_sounds.h"

namespace samplegen {

bool isAiff(FileForm form) { return form == FileForm::Aiff16 || form == FileForm::Aiff24; }

namespace {

// Root notes as MIDI numbers; file names use C4 = 60.
template <int Note>
RenderedSample electricPiano() {
    return renderElectricPiano(Note);
}
template <int Note>
RenderedSample pluck() {
    return renderPluck(Note);
}
template <int Note>
RenderedSample bass() {
    return renderBass(Note);
}
template <int Note>
RenderedSample pad() {
    return renderPad(Note);
}
template <int Note>
RenderedSample bell() {
    return renderBell(Note);
}
template <int Note>
RenderedSample organ() {
    return renderDrawbarOrgan(Note);
}
template <int Note, Mallet M>
RenderedSample marimba() {
    return renderMarimba(Note, M);
}

}  // namespace

const std::vector<CatalogueEntry>& sampleCatalogue() {
    // Mostly 44.1 kHz mono 16-bit, which is all a drum hit needs; the other
    // forms are spread over samples where they cost little, so that every
    // reader path meets a real file.
    static const std::vector<CatalogueEntry> kCatalogue = {
        {"Kick.wav", FileForm::Wav16, renderKick},
        {"Kick2.wav", FileForm::Wav16, renderKick2},
        {"Snare 1.wav", FileForm::Wav16, renderSnare1},
        {"Snare 2.wav", FileForm::WavFloat, renderSnare2},
        {"Tom 1.wav", FileForm::WavExtensible24, renderTom1},
        {"Tom 2.wav", FileForm::Wav16, renderTom2},
        {"Claps.wav", FileForm::Wav16, renderClaps},
        {"Bongo 1.wav", FileForm::Wav16, renderBongo1},
        {"Bongo 2.wav", FileForm::Wav16, renderBongo2},
        {"Bongo 3.wav", FileForm::WavExtensibleFloat, renderBongo3},
        {"Crash 1.wav", FileForm::Wav16, renderCrash1},
        {"Crash 2.wav", FileForm::Wav16, renderCrash2},  // stereo
        {"Ride.wav", FileForm::Wav24, renderRide},
        {"Hats Open.wav", FileForm::Wav16, renderHatsOpen},
        {"Hats Close.wav", FileForm::Wav16, renderHatsClose},
        {"Block.wav", FileForm::Wav16, renderBlock},

        {"EPiano_C3.wav", FileForm::Wav16, electricPiano<48>},
        {"EPiano_C4.wav", FileForm::Wav16, electricPiano<60>},
        {"EPiano_C5.wav", FileForm::Wav16, electricPiano<72>},
        {"Pluck_C3.aif", FileForm::Aiff24, pluck<48>},
        {"Pluck_C4.aif", FileForm::Aiff24, pluck<60>},
        {"Pluck_C5.aif", FileForm::Aiff24, pluck<72>},
        {"Bass_E1.wav", FileForm::Wav16, bass<28>},
        {"Bass_E2.wav", FileForm::Wav16, bass<40>},
        {"Bass_E3.wav", FileForm::Wav16, bass<52>},
        {"Pad_C3.wav", FileForm::Wav16, pad<48>},  // stereo, 32 kHz
        {"Pad_C4.wav", FileForm::Wav16, pad<60>},
        {"Pad_C5.wav", FileForm::Wav16, pad<72>},
        {"Bell_C4.aif", FileForm::Aiff16, bell<60>},
        {"Bell_C5.aif", FileForm::Aiff16, bell<72>},
        {"Bell_C6.aif", FileForm::Aiff16, bell<84>},

        {"Room Kick.wav", FileForm::Wav16, renderRoomKick},
        {"Room Snare.wav", FileForm::Wav16, renderRoomSnare},
        {"Side Stick.wav", FileForm::Wav16, renderSideStick},
        {"Room Hat.wav", FileForm::Wav16, renderRoomHat},
        {"Boom Kick.wav", FileForm::Wav16, renderBoomKick},
        {"Snap.wav", FileForm::Wav16, renderSnap},
        {"Tick Hat.wav", FileForm::Wav16, renderTickHat},
        {"Zap.wav", FileForm::Wav16, renderZap},
        {"Conga High.wav", FileForm::Wav16, renderCongaHigh},
        {"Conga Low.wav", FileForm::Wav16, renderCongaLow},
        {"Shaker.wav", FileForm::Wav16, renderShaker},
        {"Clave.wav", FileForm::Wav16, renderClave},
        {"Cowbell.wav", FileForm::Wav16, renderCowbell},

        {"Organ_C3.wav", FileForm::Wav16, organ<48>},
        {"Organ_C4.wav", FileForm::Wav16, organ<60>},
        {"Organ_C5.wav", FileForm::Wav16, organ<72>},
        {"Marimba_C3.wav", FileForm::Wav16, marimba<48, Mallet::Soft>},
        {"Marimba_C4.wav", FileForm::Wav16, marimba<60, Mallet::Soft>},
        {"Marimba_C5.wav", FileForm::Wav16, marimba<72, Mallet::Soft>},
        {"MarimbaHard_C4.wav", FileForm::Wav16, marimba<60, Mallet::Hard>},
    };
    return kCatalogue;
}

}  // namespace samplegen
