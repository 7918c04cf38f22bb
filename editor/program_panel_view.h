// The program panel (five tabs, 24 entries in two columns): draws the
// model's list and turns clicks into its panel actions.
#pragma once

#include <functional>

#include "editor/editor_model.h"
#include "editor/editor_skin.h"
#include "gui/view.h"

class ProgramPanelView : public gui::View {
public:
    ProgramPanelView(EditorModel& model, const EditorSkin& skin);

    void draw(gui::Canvas& canvas) override;
    bool onMouseDown(const gui::MouseEvent& e) override;

    // Called after a click changed the panel (a double click on a user
    // entry asks for the name entry through this).
    std::function<void()> afterClick;

private:
    EditorModel& model_;
    const gui::Bitmap* strip_;
    const gui::Bitmap* selection_;
    gui::Font font_;
};
