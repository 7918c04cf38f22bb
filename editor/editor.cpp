#include "editor/editor.h"

#include "host/effect.h"

Editor::Editor(Effect* effect) : AEffEditor(effect), model_(std::make_unique<EditorModel>(*effect)) {}

Editor::~Editor() = default;

Editor* createEditor(Effect* /*effect*/) { return nullptr; }
