// SPDX-License-Identifier: MIT
// The child that writes, and the wait for its report on a pipe.
#include "handler/bounded_write.h"

#include "common/monotonic.h"
#include "common/unique_fd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

// What the child reports before it exits.
struct Report {
    WriteFailure failure;
    int error;
};

// In the child: only calls that are safe after fork() in a process that may have threads.
[[noreturn]] void write_and_report(int report_fd, const char* path, std::string_view text,
                                   bool sync) {
    Report report = {WriteFailure::none, 0};
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        report = {WriteFailure::open, errno};
    } else {
        // Sysfs takes an attribute in one write; a partial write is as good as a failed one.
        ssize_t written = write(fd, text.data(), text.size());
        if (written < 0)
            report = {WriteFailure::write, errno};
        else if (static_cast<size_t>(written) != text.size())
            report = {WriteFailure::write, EIO};
        else if (sync && fsync(fd) != 0)
            report = {WriteFailure::write, errno};
    }
    ssize_t ignored = write(report_fd, &report, sizeof report);
    (void)ignored;
    _exit(0);
}

// Waits for the child's report until `deadline`; false when none came by then.
bool await_report(int report_fd, int64_t deadline, Report& report) {
    for (;;) {
        pollfd ready = {.fd = report_fd, .events = POLLIN, .revents = 0};
        int64_t left = deadline - monotonic_ms();
        int n = poll(&ready, 1, static_cast<int>(left > 0 ? left : 0));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        ssize_t length = read(report_fd, &report, sizeof report);
        if (length < 0 && errno == EINTR)
            continue;
        if (length != static_cast<ssize_t>(sizeof report))
            report = {WriteFailure::write, EIO}; // the child died before it could say
        return true;
    }
}

} // namespace

WriteFailure write_attribute_bounded(const char* path, std::string_view text, bool sync) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return WriteFailure::open;
    UniqueFd report_fd(ends[0]);
    UniqueFd child_end(ends[1]);
    pid_t pid = fork();
    if (pid < 0)
        return WriteFailure::open;
    if (pid == 0)
        write_and_report(child_end.get(), path, text, sync);
    child_end.reset();

    Report report;
    int64_t deadline = monotonic_ms() + int64_t{SYSFS_WRITE_TIMEOUT_SECONDS} * 1000;
    if (!await_report(report_fd.get(), deadline, report)) {
        // A child stuck in the kernel dies when the write returns, if ever; nothing waits
        // for it.
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, WNOHANG);
        errno = ETIME;
        return WriteFailure::write;
    }
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    errno = report.error;
    return report.failure;
}
