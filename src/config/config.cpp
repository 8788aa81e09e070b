// SPDX-License-Identifier: MIT
// Validates the configuration document and copies it into a HandlerConfig.
#include "config/config.h"

#include "config/json_file.h"

#include <syslog.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Result of reading one list: `invalid` when the key holds anything but a non-empty or
// empty array of strings (or when copying it ran out of memory).
struct ListRead {
    bool invalid = false;
    StringList list;
};

ListRead read_string_list(const json_t* section, const char* key) {
    // jansson's getters take non-const pointers but do not modify the document.
    json_t* value = json_object_get(section, key);
    if (!value)
        return {};
    if (!json_is_array(value))
        return {.invalid = true, .list = {}};
    size_t size = json_array_size(value);
    if (size == 0)
        return {};

    try {
        std::vector<std::string> entries;
        entries.reserve(size);
        for (size_t i = 0; i < size; i++) {
            const char* text = json_string_value(json_array_get(value, i));
            if (!text)
                return {.invalid = true, .list = {}};
            entries.emplace_back(text);
        }
        return {.invalid = false, .list = std::move(entries)};
    } catch (const std::bad_alloc&) {
        fprintf(stderr, "<%d> JSON array '%s' allocation failed: %s\n", LOG_ERR, key,
                strerror(ENOMEM));
        return {.invalid = true, .list = {}};
    }
}

// Validates a parsed document (a JSON object) and builds the record from it.
std::optional<HandlerConfig> config_from_json(const json_t* root) {
    const json_t* section = json_object_get(root, "vornic");
    if (!section) {
        fprintf(stderr, "<%d> Invalid configuration: 'vornic' field missing.\n", LOG_WARNING);
        return std::nullopt;
    }

    HandlerConfig config;

    struct Flag {
        const char* key;
        ConfigFlag bit;
        const char* invalid_message;
    };
    static constexpr Flag flags[] = {
        {"sync_irlight", SYNC_IRLIGHT,
         "<%d> Invalid value for 'sync_irlight', expected a boolean.\n"},
        {"trigger_mic_swap", TRIGGER_MIC_SWAP,
         "<%d> Invalid value for 'trigger_mic_swap', expected a boolean.\n"},
        {"never_reboot", NEVER_REBOOT,
         "<%d> Invalid value for 'never_reboot', expected a boolean.\n"},
    };
    for (const Flag& flag : flags) {
        const json_t* value = json_object_get(section, flag.key);
        if (!value)
            continue;
        if (!json_is_boolean(value)) {
            fprintf(stderr, flag.invalid_message, LOG_ERR);
            return std::nullopt;
        }
        if (json_is_true(value))
            config.flags |= flag.bit;
    }

    struct List {
        const char* key;
        StringList HandlerConfig::*field;
    };
    static constexpr List lists[] = {
        {"bind_devices", &HandlerConfig::bind_devices},
        {"unbind_devices", &HandlerConfig::unbind_devices},
        {"startstop_services", &HandlerConfig::startstop_services},
        {"reload_services", &HandlerConfig::reload_services},
        {"set_gpio", &HandlerConfig::set_gpio},
    };
    for (const List& list : lists) {
        ListRead read = read_string_list(section, list.key);
        if (read.invalid) {
            fprintf(stderr, "<%d> Invalid %s array in configuration.\n", LOG_ERR, list.key);
            return std::nullopt;
        }
        config.*list.field = std::move(read.list);
    }
    return config;
}

} // namespace

std::optional<HandlerConfig> load_config(const char* path, JsonPtr& document) {
    if (read_json_file(path, document) != 0)
        return std::nullopt;
    try {
        return config_from_json(document.get());
    } catch (const std::bad_alloc&) {
        fprintf(stderr, "<%d> Out of memory while loading configuration %s\n", LOG_ERR, path);
        return std::nullopt;
    }
}

std::optional<HandlerConfig> load_config(const char* path) {
    JsonPtr document;
    return load_config(path, document);
}
