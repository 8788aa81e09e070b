// SPDX-License-Identifier: MIT
// Fuzz target: arbitrary bytes as the content of the configuration file, read by load_config
// as the handler and the printer read it. Checks that the loader writes one diagnostic exactly
// when it fails, accepts only a document that is one JSON object from the first byte to the
// first NUL byte or the end, and copies its lists as they are.
#include "check.h"

#include "common/handles.h"
#include "common/unique_fd.h"
#include "config/config.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The file the loader reads: an anonymous in-memory file, opened again through /proc as any
// other path would be, so each input costs no disk and leaves nothing behind.
class ConfigFile {
  public:
    ConfigFile() : fd_(memfd_create("vornic.json", MFD_CLOEXEC)) {
        if (!fd_) {
            perror("memfd_create");
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_.get());
    }

    const char* replace(const uint8_t* data, size_t size) {
        FUZZ_CHECK(ftruncate(fd_.get(), 0) == 0);
        FUZZ_CHECK(pwrite(fd_.get(), data, size, 0) == static_cast<ssize_t>(size));
        return path_.c_str();
    }

  private:
    UniqueFd fd_;
    std::string path_;
};

// Collects what the loader writes to stderr. glibc lets a program assign the stream; the
// sanitizers and libFuzzer write to descriptor 2 directly, so their reports still show.
class StderrCapture {
  public:
    StderrCapture() : saved_(stderr), stream_(open_memstream(&text_, &size_)) {
        FUZZ_CHECK(stream_ != nullptr);
        stderr = stream_;
    }
    ~StderrCapture() {
        restore();
        free(text_);
    }
    std::string take() {
        restore();
        return std::string(text_, size_);
    }

  private:
    void restore() {
        if (stderr == stream_) {
            stderr = saved_;
            fclose(stream_);
        }
    }
    FILE* saved_;
    char* text_ = nullptr;
    size_t size_ = 0;
    FILE* stream_;
};

// "<N> text\n": a syslog priority, then one line.
bool is_one_log_line(const std::string& text) {
    return text.size() >= 5 && text[0] == '<' && text[1] >= '0' && text[1] <= '7' &&
           text[2] == '>' && text[3] == ' ' && text.find('\n') == text.size() - 1;
}

void check_list(const json_t* section, const char* key, const StringList& list) {
    json_t* array = json_object_get(section, key);
    if (!list) {
        FUZZ_CHECK(!array || json_array_size(array) == 0);
        return;
    }
    FUZZ_CHECK(json_array_size(array) == list->size());
    for (size_t i = 0; i < list->size(); i++)
        FUZZ_CHECK((*list)[i] == json_string_value(json_array_get(array, i)));
}

// The accepted configuration against the document parsed afresh from the input, which ends
// at its first NUL byte.
void check_accepted(const uint8_t* data, size_t size, const HandlerConfig& config) {
    const char* text = reinterpret_cast<const char*>(data);
    JsonPtr document(json_loadb(text, strnlen(text, size), 0, nullptr));
    FUZZ_CHECK(document && json_is_object(document.get()));
    const json_t* section = json_object_get(document.get(), "vornic");
    FUZZ_CHECK(section);

    FUZZ_CHECK((config.flags & ~(SYNC_IRLIGHT | TRIGGER_MIC_SWAP | NEVER_REBOOT)) == 0);
    FUZZ_CHECK(config.has(SYNC_IRLIGHT) == json_is_true(json_object_get(section, "sync_irlight")));
    FUZZ_CHECK(config.has(TRIGGER_MIC_SWAP) ==
               json_is_true(json_object_get(section, "trigger_mic_swap")));
    FUZZ_CHECK(config.has(NEVER_REBOOT) == json_is_true(json_object_get(section, "never_reboot")));
    check_list(section, "bind_devices", config.bind_devices);
    check_list(section, "unbind_devices", config.unbind_devices);
    check_list(section, "startstop_services", config.startstop_services);
    check_list(section, "reload_services", config.reload_services);
    check_list(section, "set_gpio", config.set_gpio);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ConfigFile file;
    const char* path = file.replace(data, size);

    StderrCapture capture;
    std::optional<HandlerConfig> config = load_config(path);
    std::string diagnostic = capture.take();

    if (config) {
        FUZZ_CHECK(diagnostic.empty());
        check_accepted(data, size, *config);
    } else {
        FUZZ_CHECK(is_one_log_line(diagnostic));
    }
    return 0;
}
