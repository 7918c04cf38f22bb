#include "tests/gui/reference_scene.h"

#include "gui/canvas.h"
#include "gui/font.h"

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

}  // namespace guitest
