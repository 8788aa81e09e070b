// Loads the configuration file into a JSON document.
#include "config/json_file.h"

#include <sys/stat.h>
#include <syslog.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The parser's message quotes the file where it stopped. A control character there, a line
// break above all, would split the diagnostic into lines the journal reads as two messages.
void mask_control_characters(char* text) {
    for (; *text; text++)
        if (static_cast<unsigned char>(*text) < 0x20 || *text == 0x7f)
            *text = '?';
}

} // namespace

int parse_json_object(const char* text, JsonPtr& root) {
    json_error_t error;
    JsonPtr parsed(json_loads(text, 0, &error));
    if (!parsed) {
        mask_control_characters(error.text);
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
    FilePtr file(fopen(path, "re"));
    if (!file) {
        fprintf(stderr, "<%d> File '%s' not found\n", LOG_WARNING, path);
        return -1;
    }

    struct stat status;
    if (fstat(fileno(file.get()), &status) != 0) {
        fprintf(stderr, "<%d> Failed to get length of file: %s\n", LOG_WARNING, path);
        return -1;
    }

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
