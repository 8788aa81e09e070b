// SPDX-License-Identifier: MIT
// The thread that writes, and the wait for it.
#include "handler/bounded_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

// What the writer and the caller share. The writer may outlive the caller's wait, so it holds
// its own copy of everything it uses.
struct Write {
    std::string path;
    std::string text;
    bool sync;
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    WriteFailure failure = WriteFailure::none;
    int error = 0;
};

void write_attribute(const std::shared_ptr<Write>& write_state) {
    Write& w = *write_state;
    WriteFailure failure = WriteFailure::none;
    int error = 0;
    int fd = open(w.path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        failure = WriteFailure::open;
        error = errno;
    } else {
        // Sysfs takes an attribute in one write; a partial write is as good as a failed one.
        ssize_t written = write(fd, w.text.data(), w.text.size());
        if (written < 0 || (w.sync && fsync(fd) != 0)) {
            failure = WriteFailure::write;
            error = errno;
        } else if (static_cast<size_t>(written) != w.text.size()) {
            failure = WriteFailure::write;
            error = EIO;
        }
        close(fd);
    }
    std::lock_guard<std::mutex> guard(w.lock);
    w.failure = failure;
    w.error = error;
    w.done = true;
    w.finished.notify_one();
}

} // namespace

WriteFailure write_attribute_bounded(const char* path, std::string_view text, bool sync) {
    auto state = std::make_shared<Write>();
    state->path = path;
    state->text = text;
    state->sync = sync;
    try {
        std::thread(write_attribute, state).detach();
    } catch (const std::system_error& error) {
        errno = error.code().value();
        return WriteFailure::open;
    }
    std::unique_lock<std::mutex> guard(state->lock);
    // A writer still inside the kernel then is left there: it ends when the write returns, if
    // ever, and with the handler at the latest.
    if (!state->finished.wait_for(guard, std::chrono::seconds(SYSFS_WRITE_TIMEOUT_SECONDS),
                                  [&] { return state->done; })) {
        errno = ETIME;
        return WriteFailure::write;
    }
    errno = state->error;
    return state->failure;
}
