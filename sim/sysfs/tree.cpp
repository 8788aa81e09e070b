// SPDX-License-Identifier: MIT
// Building, looking up and writing the simulated /sys, with the kernel's answers to writes.
#include "tree.h"

#include <cerrno>

namespace {

std::vector<std::string> split(std::string_view path) {
    std::vector<std::string> parts;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string join(const std::vector<std::string>& parts, size_t count) {
    std::string path;
    for (size_t i = 0; i < count; i++)
        path += "/" + parts[i];
    return path.empty() ? "/" : path;
}

bool usable_name(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// Splits "/a/b/c" into "/a/b" and "c".
std::pair<std::string, std::string> parent_and_name(const std::string& path) {
    size_t slash = path.rfind('/');
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Whether `path` is, or may become, a file or a link rather than a directory.
bool held_by_non_directory(const SysfsTree& tree, const std::string& path) {
    if (tree.gpio_levels.contains(path))
        return true;
    auto [parent, name] = parent_and_name(path);
    auto driver = tree.drivers.find(parent);
    return driver != tree.drivers.end() &&
           (name == "bind" || name == "unbind" || driver->second.contains(name));
}

// Every directory on the way to `path`, `path` included, root excluded.
std::vector<std::string> directory_chain(const std::string& path) {
    std::vector<std::string> parts = split(path);
    std::vector<std::string> chain;
    for (size_t i = 1; i <= parts.size(); i++)
        chain.push_back(join(parts, i));
    return chain;
}

void add_directories(SysfsTree& tree, const std::string& path) {
    for (const std::string& directory : directory_chain(path)) {
        auto [parent, name] = parent_and_name(directory);
        tree.directories[parent].insert(name);
        tree.directories[directory];
    }
}

std::string_view without_one_newline(std::string_view data) {
    if (!data.empty() && data.back() == '\n')
        data.remove_suffix(1);
    return data;
}

} // namespace

std::string path_inside_sys(std::string_view sys_path) {
    if (!sys_path.starts_with("/sys/"))
        return "";
    std::string inside(sys_path.substr(4));
    for (const std::string& part : split(inside))
        if (!usable_name(part))
            return "";
    return inside;
}

std::string gpio_value_path(std::string_view name) {
    return usable_name(name) ? "/class/gpio/" + std::string(name) + "/value" : "";
}

int tree_add_gpio(SysfsTree& tree, std::string_view name) {
    std::string value = gpio_value_path(name);
    if (value.empty())
        return -EINVAL;
    if (tree.gpio_levels.contains(value))
        return 0;
    std::string directory = parent_and_name(value).first;
    if (tree.directories.contains(value) || held_by_non_directory(tree, value))
        return -EINVAL;
    for (const std::string& step : directory_chain(directory))
        if (held_by_non_directory(tree, step))
            return -EINVAL;
    add_directories(tree, directory);
    tree.directories[directory].insert("value");
    tree.gpio_levels[value] = false;
    return 0;
}

int tree_add_device(SysfsTree& tree, std::string_view sys_path) {
    std::string inside = path_inside_sys(sys_path);
    std::vector<std::string> parts = split(inside);
    if (inside.empty() || parts.size() < 2)
        return -EINVAL;
    auto [driver, name] = parent_and_name(inside);
    auto known = tree.drivers.find(driver);
    if (known != tree.drivers.end() && known->second.contains(name))
        return 0;

    // Platform devices live in /devices/platform, as on the camera; anything else gets a
    // place of its own under /devices.
    std::string device = parts.size() == 5 && parts[0] == "bus" && parts[2] == "drivers"
                             ? "/devices/" + parts[1] + "/" + name
                             : "/devices" + inside;
    std::vector<std::string> needed = directory_chain(driver);
    for (const std::string& step : directory_chain(device))
        needed.push_back(step);

    if (name == "bind" || name == "unbind" || tree.directories.contains(inside) ||
        held_by_non_directory(tree, inside))
        return -EINVAL;
    for (const std::string& step : needed)
        if (step == inside || held_by_non_directory(tree, step))
            return -EINVAL;

    add_directories(tree, driver);
    add_directories(tree, device);
    tree.directories[driver].insert({"bind", "unbind"});
    std::string target;
    for (size_t i = 1; i < parts.size(); i++)
        target += "../";
    tree.drivers[driver][name] = Device{.bound = false, .link_target = target + device.substr(1)};
    return 0;
}

int tree_bind(SysfsTree& tree, std::string_view sys_path) {
    auto [driver, name] = parent_and_name(path_inside_sys(sys_path));
    auto known = tree.drivers.find(driver);
    if (known == tree.drivers.end() || !known->second.contains(name))
        return -ENODEV;
    known->second[name].bound = true;
    return 0;
}

void tree_bind_all(SysfsTree& tree) {
    for (auto& [driver, devices] : tree.drivers)
        for (auto& [name, device] : devices)
            device.bound = true;
}

Node tree_lookup(const SysfsTree& tree, const std::string& path) {
    if (tree.directories.contains(path))
        return {NodeKind::Directory, ""};
    if (tree.gpio_levels.contains(path))
        return {NodeKind::GpioValue, ""};
    auto [parent, name] = parent_and_name(path);
    auto driver = tree.drivers.find(parent);
    if (driver == tree.drivers.end())
        return {};
    if (name == "bind")
        return {NodeKind::BindAttribute, ""};
    if (name == "unbind")
        return {NodeKind::UnbindAttribute, ""};
    auto device = driver->second.find(name);
    if (device != driver->second.end() && device->second.bound)
        return {NodeKind::DeviceLink, device->second.link_target};
    return {};
}

std::vector<std::string> tree_list(const SysfsTree& tree, const std::string& path) {
    std::set<std::string> entries;
    if (auto directory = tree.directories.find(path); directory != tree.directories.end())
        entries = directory->second;
    if (auto driver = tree.drivers.find(path); driver != tree.drivers.end())
        for (const auto& [name, device] : driver->second)
            if (device.bound)
                entries.insert(name);
    return {entries.begin(), entries.end()};
}

int tree_read(const SysfsTree& tree, const std::string& path, std::string& content) {
    auto gpio = tree.gpio_levels.find(path);
    if (gpio == tree.gpio_levels.end())
        return -EACCES;
    content = gpio->second ? "1\n" : "0\n";
    return 0;
}

int tree_write(SysfsTree& tree, const std::string& path, std::string_view data) {
    NodeKind kind = tree_lookup(tree, path).kind;
    if (data.empty())
        return 0;
    if (tree.failing_writes.contains(path))
        return -EIO;
    std::string_view text = without_one_newline(data);

    if (kind == NodeKind::GpioValue) {
        if (text != "0" && text != "1")
            return -EINVAL;
        tree.gpio_levels[path] = text == "1";
        return 0;
    }
    if (kind != NodeKind::BindAttribute && kind != NodeKind::UnbindAttribute)
        return -EINVAL;
    auto& devices = tree.drivers[parent_and_name(path).first];
    auto device = devices.find(std::string(text));
    if (kind == NodeKind::BindAttribute) {
        if (device == devices.end())
            return -ENODEV;
        if (device->second.bound)
            return -EBUSY;
        device->second.bound = true;
    } else {
        if (device == devices.end() || !device->second.bound)
            return -ENODEV;
        device->second.bound = false;
    }
    return 0;
}
