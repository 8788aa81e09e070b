// SPDX-License-Identifier: MIT
// Reading the configuration's names with jansson, and applying the command line's.
#include "initial_tree.h"

#include <jansson.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

struct JsonUnref {
    void operator()(json_t* json) const { json_decref(json); }
};
using JsonPtr = std::unique_ptr<json_t, JsonUnref>;

const char program[] = "vornic-sysfs-sim";

// Calls `take` with every string of `vornic.KEY`, when that is an array.
template <typename Take> void each_string(json_t* vornic, const char* key, Take take) {
    json_t* array = json_object_get(vornic, key);
    size_t index;
    json_t* item;
    json_array_foreach(array, index, item) {
        if (json_is_string(item))
            take(json_string_value(item));
    }
}

int complain(const char* option, const std::string& value) {
    std::fprintf(stderr, "%s: unusable %s '%s'\n", program, option, value.c_str());
    return -EINVAL;
}

} // namespace

void add_configuration(SysfsTree& tree, const SimOptions& options) {
    const std::string& config_path = options.config_path;
    json_error_t error;
    JsonPtr root(json_load_file(config_path.c_str(), 0, &error));
    if (!root) {
        std::fprintf(stderr, "%s: ignoring configuration %s: %s\n", program, config_path.c_str(),
                     error.text);
        return;
    }
    json_t* vornic = json_object_get(root.get(), "vornic"); // NULL unless both are objects
    each_string(vornic, "set_gpio", [&](const char* name) {
        if (std::ranges::find(options.absent_gpios, name) != options.absent_gpios.end())
            return;
        if (tree_add_gpio(tree, name) != 0)
            std::fprintf(stderr, "%s: skipping GPIO '%s'\n", program, name);
    });
    for (const char* key : {"bind_devices", "unbind_devices"}) {
        each_string(vornic, key, [&](const char* path) {
            if (std::string_view(path).starts_with("/sys/") && tree_add_device(tree, path) != 0)
                std::fprintf(stderr, "%s: skipping device '%s'\n", program, path);
        });
    }
}

int add_command_line(SysfsTree& tree, const SimOptions& options) {
    for (const std::string& name : options.failing_gpios) {
        if (tree_add_gpio(tree, name) != 0)
            return complain("--fail-gpio", name);
        tree.failing_writes.insert(gpio_value_path(name));
    }
    for (const std::string& path : options.bound)
        if (tree_add_device(tree, path) != 0 || tree_bind(tree, path) != 0)
            return complain("--bound", path);
    if (options.all_bound)
        tree_bind_all(tree);
    for (const std::string& path : options.failing_writes) {
        std::string inside = path_inside_sys(path);
        if (inside.empty())
            return complain("--fail-write", path);
        tree.failing_writes.insert(inside);
    }
    for (const std::string& path : options.hanging_writes) {
        std::string inside = path_inside_sys(path);
        if (inside.empty())
            return complain("--hang-write", path);
        tree.hanging_writes.insert(inside);
    }
    return 0;
}
