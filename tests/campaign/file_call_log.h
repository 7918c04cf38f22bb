// Records the file calls the process makes (open, write, fsync, close,
// rename) while recording is on, in order, with their file descriptors and
// paths, through interposed libc functions (file_call_log.cpp).
#pragma once

#include <string>
#include <vector>

namespace file_calls {

struct Call {
    std::string op;    // "open", "write", "fsync", "close", "rename"
    int fd = -1;       // the descriptor used or returned
    int flags = 0;     // open flags
    std::string path;  // open: the path; rename: the target
    std::string from;  // rename: the source
};

void start();
std::vector<Call> stop();

}  // namespace file_calls
