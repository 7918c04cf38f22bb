// The plug-in window. The render engine and the programs talk to it only
// through these few calls; while no window toolkit is built in, no editor is
// created and the plug-in declares none.
#pragma once

#include "vst/audioeffectx.h"

class Effect;

class Editor : public AEffEditor {
public:
    explicit Editor(Effect* effect);

    // Audio thread: mirrors of state the user can also set in the window.
    virtual void setPlayButton(float /*value*/) {}
    virtual void setPreviewSwitch(float /*value*/) {}
    virtual void redrawPad() {}
    // The two buffers that fed the master level stage, for the oscilloscope.
    virtual void feedScope(const float* /*left*/, const float* /*right*/, int /*frames*/) {}
    // Any thread: program data changed.
    virtual void redraw() {}
};

// Creates the window object, or null when the plug-in runs without one.
Editor* createEditor(Effect* effect);
