// Notes scheduled by the step tick, waiting for their frame. Audio thread
// only; fixed capacity.
#pragma once

class CPlugin;

struct PendingNote {
    CPlugin* slot;
    int key;
    int velocity;  // 0 = note-off
    int frameOffset;
    int transposition;
};

class PendingNoteList {
public:
    static constexpr int kCapacity = 4096;

    bool add(const PendingNote& note) {
        if (count_ >= kCapacity) return false;
        notes_[count_++] = note;
        return true;
    }
    int size() const { return count_; }
    void clear() { count_ = 0; }
    // Removes every slot reference to a slot that is going away.
    void forget(const CPlugin* slot) {
        int kept = 0;
        for (int i = 0; i < count_; ++i)
            if (notes_[i].slot != slot) notes_[kept++] = notes_[i];
        count_ = kept;
    }

    // Stops a key of one slot: its waiting note-ons are dropped and its
    // waiting note-offs are brought forward to frameOffset, so a note that
    // already sounds is still released (dropping its note-off would leave it
    // hanging).
    void stopKey(const CPlugin* slot, int key, int frameOffset) {
        int kept = 0;
        for (int i = 0; i < count_; ++i) {
            PendingNote n = notes_[i];
            if (n.slot == slot && n.key == key) {
                if (n.velocity != 0) continue;
                if (n.frameOffset > frameOffset) n.frameOffset = frameOffset;
            }
            notes_[kept++] = n;
        }
        count_ = kept;
    }
    // Read access for tests and the editor's activity display.
    const PendingNote& at(int i) const { return notes_[i]; }

    // Sends, in list order, every note whose offset falls inside this block
    // and keeps the others with their offset moved back by the block length.
    template <class Send>
    void runBlock(int frames, Send&& send) {
        int kept = 0;
        for (int i = 0; i < count_; ++i) {
            PendingNote n = notes_[i];
            if (n.frameOffset < frames) {
                send(n);
            } else {
                n.frameOffset -= frames;
                notes_[kept++] = n;
            }
        }
        count_ = kept;
    }

private:
    PendingNote notes_[kCapacity];
    int count_ = 0;
};
