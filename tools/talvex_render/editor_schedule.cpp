#include "tools/talvex_render/editor_schedule.h"

#include <chrono>
#include <thread>

#include "tools/vst_host/host_frame.h"

namespace {

using Clock = std::chrono::steady_clock;

// Idle periods of the two hosts whose habits are copied (measured with a
// logging plug-in), and Ardour's delay between opening and asking the size.
constexpr int kLmmsIdleMs = 50;
constexpr int kArdourIdleMs = 40;
constexpr int kArdourRectDelayMs = 100;
// LMMS's hidden popup and Ardour's unmapped stand-in, before either knows
// the editor's size.
constexpr int kLmmsInitialSide = 8;
constexpr int kArdourInitialSide = 1;

unsigned long long handleNumber(void* handle) {
    return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle));
}

bool writeInfo(const std::string& path, void* frame, void* parent, void* editor, int width, int height,
               std::string& error) {
    // Written whole under another name, then renamed: a test polling the
    // file never reads half of it.
    const std::string partial = path + ".part";
    std::FILE* file = std::fopen(partial.c_str(), "w");
    if (file == nullptr) {
        error = "cannot create " + partial;
        return false;
    }
    std::fprintf(file, "frame 0x%llx\nparent 0x%llx\neditor 0x%llx\nwidth %d\nheight %d\n", handleNumber(frame),
                 handleNumber(parent), handleNumber(editor), width, height);
    const bool ok = std::fclose(file) == 0;
    std::remove(path.c_str());
    if (!ok || std::rename(partial.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

bool runEditorSchedule(PluginSession& session, const RenderOptions& options, std::FILE* out, std::string& error) {
    if ((session.effect()->flags & effFlagsHasEditor) == 0) {
        error = "the plug-in has no editor";
        return false;
    }
    std::unique_ptr<HostFrame> frame = HostFrame::create(error);
    if (!frame) return false;

    const bool ardour = options.editorOrder == RenderOptions::EditorOrder::Ardour;
    const auto period = std::chrono::milliseconds(ardour ? kArdourIdleMs : kLmmsIdleMs);
    const auto start = Clock::now();
    const auto total = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(options.showEditorSeconds));
    const bool hides = options.editorHideAfterSeconds >= 0.0;
    const auto hideAt = start + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(options.editorHideAfterSeconds));

    for (int cycle = 0; cycle < options.editorCycles; ++cycle) {
        const auto cycleEnd = start + total * (cycle + 1) / options.editorCycles;
        void* top = nullptr;
        void* parent = nullptr;
        ERect* rect = nullptr;
        if (!ardour) {
            // LMMS: open into the hidden popup, then ask the size (and take
            // the answer without looking) and bring the editor to the top.
            parent = top = frame->createWindow(kLmmsInitialSide, kLmmsInitialSide, "talvex-render editor");
            if (session.dispatch(effEditOpen, 0, 0, parent) == 0) error = "effEditOpen returned 0";
            session.dispatch(effEditGetRect, 0, 0, &rect);
            session.dispatch(effEditTop);
        } else {
            // Ardour: a 1 x 1 stand-in that no one sees, the host's display
            // pointer in value, the size asked a little later, then the
            // stand-in moves into the real frame.
            parent = frame->createWindow(kArdourInitialSide, kArdourInitialSide, "");
            if (session.dispatch(effEditOpen, 0, reinterpret_cast<VstIntPtr>(frame->displayPointer()), parent) == 0)
                error = "effEditOpen returned 0";
            const auto rectAt = Clock::now() + std::chrono::milliseconds(kArdourRectDelayMs);
            while (Clock::now() < rectAt) {
                frame->pump();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            session.dispatch(effEditGetRect, 0, 0, &rect);
        }
        if (rect == nullptr && error.empty()) error = "effEditGetRect left the rectangle null";
        if (!error.empty()) {
            session.dispatch(effEditClose);
            frame->destroy(parent);
            return false;
        }
        const int width = rect->right - rect->left;
        const int height = rect->bottom - rect->top;
        if (!ardour) {
            frame->setSize(top, width, height);
            frame->show(top, true);
        } else {
            top = frame->createWindow(width, height, "talvex-render editor");
            frame->reparent(parent, top);
            frame->setSize(parent, width, height);
            frame->show(parent, true);
            frame->show(top, true);
        }
        if (cycle == 0) {
            void* editor = frame->firstChild(parent);
            std::fprintf(out, "editor window 0x%llx in frame 0x%llx\n", handleNumber(editor), handleNumber(top));
            std::fflush(out);
            if (!options.editorInfoFile.empty() &&
                !writeInfo(options.editorInfoFile, top, parent, editor, width, height, error))
                return false;
        }

        auto next = Clock::now();
        bool hidden = false;
        while (Clock::now() < cycleEnd) {
            frame->pump();
            session.dispatch(effEditIdle);
            if (hides && !hidden && Clock::now() >= hideAt) {
                frame->show(top, false);  // hidden, not closed: idle goes on
                hidden = true;
            }
            next += period;
            std::this_thread::sleep_until(next);
        }

        if (options.editorDestroyParentFirst) frame->destroy(top);
        session.dispatch(effEditClose);
        if (options.editorCloseTwice) session.dispatch(effEditClose);
        if (!options.editorDestroyParentFirst) frame->destroy(top);
        frame->pump();
    }
    if (frame->errors() != 0) {
        error = "the host's own window requests failed " + std::to_string(frame->errors()) + " times";
        return false;
    }
    return true;
}
