// The real editor drawing its frames offscreen: the plug-in with eight
// planets, one selected with its named satellites and the key strip, the
// names flag on (every planet labelled, the other satellites faint) and the
// oscilloscope on with two full traces. A full frame is what an expose or
// a program change costs; the idle frame is what every host idle call
// costs (the pad and what lies under it). Target: a full frame in 5 ms, so
// that idle stays smooth at a 40 ms host idle rate.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor/editor_view.h"
#include "editor/main_menu.h"
#include "editor/planet_pad.h"
#include "gui/canvas.h"
#include "host/effect.h"
#include "project/project.h"
#include "track/instrument.h"

namespace {

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct BusyEditor {
    Effect* effect = nullptr;
    Editor* editor = nullptr;
    BusyEditor() {
        effect = new Effect(&quietHost);
        Project& project = *effect->project();
        // Up to eight planets, each with three named satellites.
        while (project.tracks.size() < 8) {
            auto track = std::make_unique<CInstrument>(*effect);
            const int i = static_cast<int>(project.tracks.size());
            track->title = "Planet " + std::to_string(i + 1);
            track->pan = -0.9f + 0.25f * static_cast<float>(i);
            track->planetLevel = static_cast<float>(15 + (i * 41) % 110);
            track->balls.padToDefaultCount();
            for (int b = 0; b < 3; ++b) {
                SoundBall& ball = track->balls.ball(b);
                ball.horizontal.emplace_back();
                ball.vertical.emplace_back();
                std::snprintf(ball.displayName, sizeof(ball.displayName), "Target %d", b + 1);
                ball.x = static_cast<float>(20 + 35 * b + i);
                ball.y = static_cast<float>(110 - 30 * b - i);
            }
            project.tracks.push_back(std::move(track));
        }
        editor = static_cast<Editor*>(effect->getEditor());
        editor->openOffscreen();
        EditorModel& model = editor->model();
        model.menuCommand(main_menu::kScope);
        model.selectPlanet(2);
        model.setKeyStripOpen(true);
        editor->view()->pad().setNamesShown(true);
        std::vector<float> left(4096), right(4096);
        for (size_t i = 0; i < left.size(); ++i) {
            left[i] = 0.8f * static_cast<float>(std::sin(static_cast<double>(i) * 0.031));
            right[i] = 0.6f * static_cast<float>(std::sin(static_cast<double>(i) * 0.007));
        }
        model.mirror().scope.write(left.data(), right.data(), static_cast<int>(left.size()));
    }
    ~BusyEditor() {
        editor->closeOffscreen();
        AEffect* a = effect->getAeffect();
        a->dispatcher(a, effClose, 0, 0, nullptr, 0.0f);
    }
};

void BM_EditorFullFrame(benchmark::State& state) {
    BusyEditor busy;
    for (auto _ : state) {
        const gui::Bitmap& frame = busy.editor->renderOffscreen();
        benchmark::DoNotOptimize(frame.pixels()[500 * 200]);
    }
}
BENCHMARK(BM_EditorFullFrame)->Unit(benchmark::kMillisecond);

void BM_EditorIdleFrame(benchmark::State& state) {
    BusyEditor busy;
    gui::Bitmap pixels(Editor::kWidth, Editor::kHeight);
    gui::Canvas canvas(pixels);
    gui::Frame& frame = busy.editor->view()->frame();
    frame.render(canvas);
    for (auto _ : state) {
        busy.editor->view()->invalidatePad();
        const std::vector<gui::Rect> areas = frame.render(canvas);
        benchmark::DoNotOptimize(areas.data());
    }
}
BENCHMARK(BM_EditorIdleFrame)->Unit(benchmark::kMillisecond);

}  // namespace
