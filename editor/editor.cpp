#include "editor/editor.h"

#include "host/effect.h"

Editor::Editor(Effect* effect) : AEffEditor(effect) {}

Editor* createEditor(Effect* /*effect*/) { return nullptr; }
