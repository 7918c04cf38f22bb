// One picture that exercises every drawing operation of the canvas, drawn
// by the native tests and by the Windows check program alike: both must
// produce the bytes of the same committed reference image.
#pragma once

#include "gui/bitmap.h"

namespace guitest {

constexpr int kSceneWidth = 320;
constexpr int kSceneHeight = 200;

gui::Bitmap drawReferenceScene();

// The in-window main menu with its note sub-menu open, and the question
// box of "New", over a striped 640 × 450 backdrop.
gui::Bitmap drawMenuScene();
gui::Bitmap drawQuestionScene();
// The file-name prompt with a path typed in.
gui::Bitmap drawPromptScene();

}  // namespace guitest
