// The Windows builds' check of the drawing layer, run under wine by
// tests/windows/smoke.sh: the reference scenes drawn here must be the same
// bytes as the committed images the native tests compare against (msvcrt
// and the mingw code generation against glibc), and skin bitmaps must come
// out of the DLL-style resources (FindResourceA) with the file's pixels.
//   gui_check REFERENCE_DIR SKIN_DIR
#include <cstdio>
#include <string>

#include "gui/png.h"
#include "gui/snapshot.h"
#include "tests/gui/reference_scene.h"

namespace {

int failures = 0;

void checkScene(const gui::Bitmap& image, const std::string& path) {
    const gui::SnapshotResult r = gui::matchSnapshot(image, path, gui::SnapshotMode::kCompareOnly);
    std::printf("%s %s%s%s\n", r.matched ? "same" : "DIFFERENT", path.c_str(), r.report.empty() ? "" : ": ",
                r.report.c_str());
    if (!r.matched) ++failures;
}

void checkSkin(const std::string& skinDir, const char* name) {
    gui::Bitmap fromResource, fromFile;
    const bool loaded = gui::loadPngResource(name, fromResource);
    const bool read = gui::readPngFile(skinDir + "/" + name, fromFile);
    const bool same = loaded && read && fromResource == fromFile;
    std::printf("%s resource %s (%dx%d)\n", same ? "same" : "DIFFERENT", name, fromResource.width(), fromResource.height());
    if (!same) ++failures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: gui_check REFERENCE_DIR SKIN_DIR\n");
        return 2;
    }
    const std::string references = argv[1];
    checkScene(guitest::drawReferenceScene(), references + "/canvas_scene.png");
    checkScene(guitest::drawMenuScene(), references + "/menu_open.png");
    checkScene(guitest::drawQuestionScene(), references + "/question_box.png");
    checkScene(guitest::drawPromptScene(), references + "/prompt_box.png");
    checkSkin(argv[2], "background_0_0.png");
    checkSkin(argv[2], "random_selector_+_btn_861_188.png");
    checkSkin(argv[2], "planet_3.png");
    std::printf("%s\n", failures == 0 ? "OK: the drawing layer gives the reference bytes" : "FAIL");
    return failures == 0 ? 0 : 1;
}
