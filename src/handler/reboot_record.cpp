// SPDX-License-Identifier: MIT
// Reading and replacing the reboot record.
#include "handler/reboot_record.h"

#include "common/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// A record is a few short lines; anything longer is not one.
constexpr size_t MAX_FILE_SIZE = 512;

// Reads at most MAX_FILE_SIZE bytes of `path` into `text`. Returns 0 or a negative errno;
// -EFBIG when the file is longer.
int read_small_file(const std::string& path, std::string& text) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    if (!fd)
        return -errno;
    char buffer[MAX_FILE_SIZE + 1];
    size_t length = 0;
    for (;;) {
        ssize_t n = read(fd.get(), buffer + length, sizeof buffer - length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -errno;
        if (n == 0)
            break;
        length += static_cast<size_t>(n);
        if (length > MAX_FILE_SIZE)
            return -EFBIG;
    }
    text.assign(buffer, length);
    return 0;
}

int write_all(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -errno;
        done += static_cast<size_t>(n);
    }
    return 0;
}

} // namespace

std::optional<RebootRecord> read_reboot_record(const std::string& dir) {
    std::string text;
    int r = read_small_file(dir + "/" + REBOOT_RECORD_NAME, text);
    if (r == -ENOENT)
        return RebootRecord{};
    if (r < 0) {
        errno = -r;
        return std::nullopt;
    }
    std::optional<RebootRecord> record = parse_record(text);
    if (!record)
        errno = EBADMSG;
    return record;
}

int write_reboot_record(const std::string& dir, const RebootRecord& record) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return -errno;
    std::string path = dir + "/" + REBOOT_RECORD_NAME;
    std::string temporary = path + ".new";
    {
        UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                         0600));
        if (!fd)
            return -errno;
        int r = write_all(fd.get(), format_record(record));
        if (r == 0 && fsync(fd.get()) != 0)
            r = -errno;
        if (r == 0 && close(fd.release()) != 0)
            r = -errno;
        if (r < 0) {
            unlink(temporary.c_str());
            return r;
        }
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        int r = -errno;
        unlink(temporary.c_str());
        return r;
    }
    // The rename itself is kept only once the directory is on disk too.
    UniqueFd directory(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory || fsync(directory.get()) != 0)
        return -errno;
    return 0;
}

std::string read_boot_id(const char* path) {
    std::string text;
    if (read_small_file(path, text) < 0)
        return "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}
