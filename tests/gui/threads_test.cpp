// Two plug-in instances may run their editors on two host threads at once
// (a host that opens each editor on a thread of its own): the shared
// typefaces, first loaded by whichever thread comes first, and drawing must
// give every thread the same pixels.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "gui/canvas.h"
#include "gui/png.h"
#include "tests/gui/reference_scene.h"

namespace gui {
namespace {

TEST(EditorThreads, ScenesDrawnOnFourThreadsAtOnceAreTheSame) {
    constexpr int kThreads = 4;
    std::vector<Bitmap> scenes(kThreads), menus(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // First use of the typefaces happens here, on all threads at once.
            scenes[t] = guitest::drawReferenceScene();
            menus[t] = guitest::drawMenuScene();
        });
    }
    for (auto& th : threads) th.join();
    const Bitmap reference = guitest::drawReferenceScene();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(scenes[t], reference) << t;
        EXPECT_EQ(menus[t], menus[0]) << t;
    }
    EXPECT_FALSE(reference.empty());
}

}  // namespace
}  // namespace gui
