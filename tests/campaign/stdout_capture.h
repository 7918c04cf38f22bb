// Captures what the process writes to standard output (the engine's only
// diagnostic, the exclusion-timeout line, goes there) until finish().
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace campaign {

class StdoutCapture {
public:
    StdoutCapture() {
        std::fflush(stdout);
        path_ = "/tmp/talvex_campaign_stdout_" + std::to_string(getpid());
        const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        saved_ = dup(1);
        if (fd >= 0 && saved_ >= 0) {
            dup2(fd, 1);
            close(fd);
        }
    }
    ~StdoutCapture() { finish(); }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Restores standard output and returns what was written meanwhile.
    std::string finish() {
        if (saved_ < 0) return text_;
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
        saved_ = -1;
        std::ifstream in(path_);
        text_.assign(std::istreambuf_iterator<char>(in), {});
        unlink(path_.c_str());
        return text_;
    }

private:
    std::string path_;
    std::string text_;
    int saved_ = -1;
};

}  // namespace campaign
