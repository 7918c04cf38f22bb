#include "tests/gui/reference_scene.h"

#include "gui/canvas.h"
#include "gui/font.h"
#include "gui/menu.h"

namespace guitest {

gui::Bitmap drawReferenceScene() {
    using namespace gui;
    Bitmap image(kSceneWidth, kSceneHeight, rgb(10, 12, 30));
    Canvas c(image);

    // Vertical gradient by rows, then translucent rectangles over it.
    for (int y = 0; y < 60; ++y) c.fillRect(Rect{0, y, kSceneWidth, y + 1}, argb(255, 20, y * 2, 90 + y));
    c.fillRect(Rect{10, 10, 90, 50}, argb(128, 255, 64, 0));
    c.frameRect(Rect{100, 10, 180, 50}, rgb(200, 200, 255), 2);

    // A three-frame strip, frame 1 blitted with its alpha.
    Bitmap strip(30, 10, 0);
    for (int f = 0; f < 3; ++f) {
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) strip.setPixel(f * 10 + x, y, argb(25 * (x + y) + 5, 80 * f, 255 - 80 * f, 128));
    }
    c.drawFrame(strip, 3, 1, StripLayout::kHorizontal, 190, 20);
    c.drawBitmap(strip, 230, 20, 160);

    // Anti-aliased shapes: a fan of lines, circles, a ring, rounded boxes.
    for (int i = 0; i <= 8; ++i) {
        c.drawLine(20.5f, 150.5f, 20.5f + 10.0f * i, 70.5f + 2.5f * i, argb(220, 255, 255, 255 - 20 * i),
                   1.0f + 0.25f * i);
    }
    c.fillCircle(150.0f, 110.0f, 25.3f, argb(255, 60, 140, 220));
    c.fillCircle(165.0f, 120.0f, 14.0f, argb(140, 250, 200, 40));
    c.drawRing(230.0f, 110.0f, 30.0f, 3.5f, argb(200, 120, 255, 160));
    c.fillRoundRect(Rect{200, 150, 300, 185}, 8.0f, argb(255, 70, 40, 110));
    c.frameRoundRect(Rect{200, 150, 300, 185}, 8.0f, rgb(230, 210, 255), 1.5f);

    // Clipped scope-like trace.
    c.pushClip(Rect{100, 150, 190, 195});
    float xy[2 * 40];
    for (int i = 0; i < 40; ++i) {
        xy[2 * i] = 95.0f + 2.5f * i;
        xy[2 * i + 1] = 172.0f + ((i * 37) % 23 - 11);
    }
    c.drawPolyline(xy, 40, argb(255, 90, 255, 120));
    c.popClip();

    // Text in the three faces, one clipped by its box.
    c.drawText(Font("Arial", 13), "Talvex 1.1 \xC3\xA9t\xC3\xA9", 10, 185, rgb(255, 255, 255));
    c.drawText(Font("Agency FB", 15), "PLANET PAD", Rect{200, 60, 300, 80}, Align::kCenter, rgb(255, 220, 120));
    c.drawText(Font("MS Gothic", 11), "C#3 G8 C-2", Rect{100, 55, 150, 70}, Align::kLeft, argb(200, 180, 255, 255));
    return image;
}

namespace {

gui::MenuItem item(const std::string& text, int id, bool checked = false, bool enabled = true) {
    gui::MenuItem m;
    m.text = text;
    m.id = id;
    m.checked = checked;
    m.enabled = enabled;
    return m;
}

std::vector<gui::MenuItem> sceneMenu() {
    static const char* names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    gui::MenuItem notes;
    notes.text = "Mute MIDI Key";
    for (int n = 0; n < 128; ++n) {
        notes.subMenu.push_back(item(std::string(names[n % 12]) + std::to_string(n / 12 - 2), 1000 + n, n == 60));
        notes.subMenu.back().columnBreakEvery = 16;
    }
    gui::MenuItem separator;
    separator.separator = true;
    return {item("New", 1), separator, item("Load Bank ...", 2), item("Save Bank As ...", 3),
            item("Save Default Bank when closing", 4, true), separator, notes, item("Scope", 5), separator,
            item("Version 1.1", 6, false, false)};
}

struct Scene {
    gui::Frame frame{640, 450};
    gui::Bitmap backdrop{640, 450, gui::rgb(12, 14, 34)};
    Scene() {
        gui::Canvas c(backdrop);
        for (int y = 0; y < 450; y += 30) c.fillRect(gui::Rect{0, y, 640, y + 1}, gui::rgb(40, 44, 80));
        frame.setBackground(&backdrop);
    }
    gui::Bitmap draw() {
        gui::Bitmap image(640, 450);
        gui::Canvas canvas(image);
        frame.drawAll(canvas);
        return image;
    }
};

gui::MouseEvent hoverAt(const gui::Rect& r) { return gui::MouseEvent{r.left + 5, r.top + 3, 0, 0, false}; }

}  // namespace

gui::Bitmap drawMenuScene() {
    Scene scene;
    auto* menu = static_cast<gui::PopupMenu*>(scene.frame.pushOverlay(
        std::make_unique<gui::PopupMenu>(scene.frame.bounds(), sceneMenu(), gui::Point{20, 40}, nullptr)));
    scene.frame.mouseMove(hoverAt(menu->panels()[0].itemRects[6]));
    scene.frame.mouseMove(hoverAt(menu->panels()[1].itemRects[40]));
    return scene.draw();
}

gui::Bitmap drawQuestionScene() {
    Scene scene;
    scene.frame.pushOverlay(std::make_unique<gui::MessageBox>(
        scene.frame.bounds(), "Talvex", "This action will erase all user programs.\nDo you want to continue ?",
        gui::MessageBox::Buttons::kYesNo, nullptr));
    return scene.draw();
}

gui::Bitmap drawPromptScene() {
    Scene scene;
    scene.frame.pushOverlay(std::make_unique<gui::PromptBox>(scene.frame.bounds(), "Load Bank", "File name (FXB File):",
                                                             "/home/planet/banks/Talvex.fxb", nullptr));
    return scene.draw();
}

}  // namespace guitest
