// SPDX-License-Identifier: MIT
// Loads the configuration file into a JSON document.
#include "config/json_file.h"

#include "common/printable.h"
#include "common/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

int parse_json_object(const char* text, JsonPtr& root) {
    json_error_t error;
    JsonPtr parsed(json_loads(text, 0, &error));
    if (!parsed) {
        // The parser's message quotes the file where it stopped.
        make_printable(error.text);
        fprintf(stderr, "<%d> Failed to allocate the root JSON object: '%s'\n", LOG_WARNING,
                error.text);
        return -1;
    }
    if (!json_is_object(parsed.get())) {
        fprintf(stderr, "<%d> The root is not a JSON object\n", LOG_WARNING);
        return -1;
    }
    root = std::move(parsed);
    return 0;
}

int read_json_file(const char* path, JsonPtr& root) {
    // Opening a FIFO for reading would wait for a writer, for ever: open without waiting and
    // refuse anything but a regular file, on the descriptor itself so nothing can be swapped
    // in between.
    UniqueFd fd(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        fprintf(stderr, "<%d> File '%s' not found\n", LOG_WARNING, path);
        return -1;
    }
    struct stat status;
    if (fstat(fd.get(), &status) != 0) {
        fprintf(stderr, "<%d> Failed to get length of file: %s\n", LOG_WARNING, path);
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        fprintf(stderr, "<%d> Failed to read file: %s\n", LOG_WARNING, path);
        return -1;
    }
    FilePtr file(fdopen(fd.get(), "r"));
    if (!file) {
        fprintf(stderr, "<%d> Failed to read file: %s\n", LOG_WARNING, path);
        return -1;
    }
    fd.release();

    size_t size = static_cast<size_t>(status.st_size);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size + 1]);
    if (!buffer) {
        fprintf(stderr, "<%d> Failed to allocate %zu bytes for file %s: %s\n", LOG_ERR, size + 1,
                path, strerror(ENOMEM));
        return -1;
    }
    size_t length = fread(buffer.get(), 1, size, file.get());
    if (ferror(file.get())) {
        fprintf(stderr, "<%d> Failed to read file: %s\n", LOG_WARNING, path);
        return -1;
    }

    buffer[length] = '\0';

    // The document ends at the first NUL byte: a file padded with zeros to a fixed size, as
    // images written to flash often are, still reads as the JSON before the padding.
    return parse_json_object(buffer.get(), root);
}
