// SPDX-License-Identifier: MIT
// Reading and replacing the reboot record.
#include "handler/reboot_record.h"

#include "common/small_file.h"

#include <cerrno>

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
    return replace_small_file(dir, REBOOT_RECORD_NAME, format_record(record));
}

std::string read_boot_id(const char* path) {
    std::string text;
    if (read_small_file(path, text) < 0)
        return "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}
