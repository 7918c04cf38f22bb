// Replacing a file's contents so that a crash or a kill at any moment leaves
// either the old contents or the new ones, never a mixture or a truncated
// file: the bytes go to a temporary file beside the target, are flushed to
// the disk, and the temporary then takes the target's name in one step (on
// Linux the folder is flushed after that, so the new name survives a power
// cut too). A temporary file left behind by a killed writer is never read.
//
// Threads: any thread except the audio thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// mode: permissions of a new file before the umask (POSIX only).
bool writeFileAtomically(const std::string& path, const uint8_t* data, size_t size, unsigned mode = 0666);

}  // namespace platform
