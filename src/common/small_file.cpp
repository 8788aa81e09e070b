// SPDX-License-Identifier: MIT
// Reading and replacing small records.
#include "common/small_file.h"

#include "common/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

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

int read_small_file(const std::string& path, std::string& text) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    if (!fd)
        return -errno;
    char buffer[MAX_SMALL_FILE_SIZE + 1];
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
        if (length > MAX_SMALL_FILE_SIZE)
            return -EFBIG;
    }
    text.assign(buffer, length);
    return 0;
}

int replace_small_file(const std::string& dir, const std::string& name, const std::string& text) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return -errno;
    std::string path = dir + "/" + name;
    std::string temporary = path + ".new";
    {
        UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                         0600));
        if (!fd)
            return -errno;
        int r = write_all(fd.get(), text);
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
