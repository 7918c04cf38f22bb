#include "platform/atomic_file_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// Two writers of the same path (two threads, or two instances in one host
// process) each get a temporary file of their own.
std::atomic<unsigned> g_temporarySequence{0};

bool writeAll(int fd, const uint8_t* data, size_t size) {
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

// The rename is only durable once the folder that holds the name is flushed.
// Some file systems refuse fsync on a folder; the file is in place all the
// same, so that is not a failure.
void flushFolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// A writer killed mid-save leaves its temporary file behind, named
// "<name>.tmp.<process id>.<sequence>". Once the process that made it is
// gone nobody will finish it; the next successful save clears it away.
void removeStaleTemporaries(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp.";
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        const char* digits = entry->d_name + prefix.size();
        char* end = nullptr;
        const long pid = std::strtol(digits, &end, 10);
        if (end == digits || *end != '.' || pid <= 0 || pid == getpid()) continue;
        if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // still at work, or not ours to judge
        unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

}  // namespace

bool writeFileAtomically(const std::string& path, const uint8_t* data, size_t size, unsigned mode) {
    if (path.empty()) return false;
    const std::string temporary =
        path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(g_temporarySequence.fetch_add(1));
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) return false;
    // The data must be on the disk before the new name points at it, or a
    // power cut after the rename could leave an empty file under that name.
    const bool complete = writeAll(fd, data, size) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!complete || !closed || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    flushFolderOf(path);
    removeStaleTemporaries(path);
    return true;
}

}  // namespace platform
