// SPDX-License-Identifier: MIT
// The interrupted action's record: its text form, and the file in the runtime directory.
#include "handler/interrupted.h"

#include "common/small_file.h"
#include "handler/reboot_record.h"

#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const std::string record_path = std::string(RUNTIME_DIR) + "/" + INTERRUPTED_RECORD_NAME;

// The boot does not change while the handler runs: its id is read once.
const std::string& this_boot() {
    static const std::string boot = read_boot_id(BOOT_ID_PATH);
    return boot;
}

} // namespace

std::string format_interrupted(const Interrupted& interrupted) {
    return std::string(action_word(interrupted.action)) +
           (interrupted.begun ? " begun " : " pending ") + interrupted.boot + "\n";
}

std::optional<Interrupted> parse_interrupted(std::string_view text) {
    if (!text.ends_with('\n'))
        return std::nullopt;
    text.remove_suffix(1);
    size_t first = text.find(' ');
    size_t second = first == std::string_view::npos ? first : text.find(' ', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    std::string word(text.substr(0, first));
    std::optional<ActionCode> action = parse_action_word(word.c_str());
    std::string_view state = text.substr(first + 1, second - first - 1);
    std::string_view boot = text.substr(second + 1);
    if (!action || (state != "pending" && state != "begun") || boot.empty() ||
        boot.find_first_of(" \n") != std::string_view::npos)
        return std::nullopt;
    return Interrupted{.action = *action, .begun = state == "begun", .boot = std::string(boot)};
}

std::optional<Interrupted> find_interrupted() {
    std::string text;
    int r = read_small_file(record_path, text);
    if (r == -ENOENT)
        return std::nullopt;
    std::optional<Interrupted> interrupted;
    if (r == 0) {
        interrupted = parse_interrupted(text);
        if (!interrupted)
            r = -EBADMSG;
    }
    if (r < 0) {
        fprintf(stderr, "<%d> Unable to read the interrupted action in %s, ignoring it: %s\n",
                LOG_WARNING, record_path.c_str(), strerror(-r));
        forget_interrupted();
        return std::nullopt;
    }
    // A reboot has ended whatever an earlier boot left: the new boot's events redo it.
    if (interrupted->boot != this_boot()) {
        forget_interrupted();
        return std::nullopt;
    }
    return interrupted;
}

bool keep_interrupted(ActionCode action, bool begun) {
    Interrupted interrupted = {.action = action, .begun = begun, .boot = this_boot()};
    int r = replace_small_file(RUNTIME_DIR, INTERRUPTED_RECORD_NAME, format_interrupted(interrupted));
    if (r == 0)
        return true;
    fprintf(stderr, "<%d> Unable to record the %s %s in %s: %s\n", LOG_WARNING,
            begun ? "begun" : "pending", action_word(action), RUNTIME_DIR, strerror(-r));
    return false;
}

void forget_interrupted() {
    if (unlink(record_path.c_str()) != 0 && errno != ENOENT)
        fprintf(stderr, "<%d> Unable to remove %s: %s\n", LOG_WARNING, record_path.c_str(),
                strerror(errno));
}
