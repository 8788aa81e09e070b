// SPDX-License-Identifier: MIT
// The simulated /sys as plain data: GPIO lines, drivers with the devices they may bind, and the
// directories holding them, addressed by paths inside the mount ("/class/gpio/acc_power/value").
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

enum class NodeKind { Missing, Directory, GpioValue, BindAttribute, UnbindAttribute, DeviceLink };

struct Node {
    NodeKind kind = NodeKind::Missing;
    std::string link_target; // for a DeviceLink: relative, towards /devices
};

struct Device {
    bool bound = false;
    std::string link_target;
};

struct SysfsTree {
    // Directory path -> the entries it always holds (bound devices come on top).
    std::map<std::string, std::set<std::string>> directories{{"/", {}}};
    // GPIO value file path -> level.
    std::map<std::string, bool> gpio_levels;
    // Driver directory path -> device name -> device.
    std::map<std::string, std::map<std::string, Device>> drivers;
    // Attribute paths whose writes fail with EIO.
    std::set<std::string> failing_writes;
    // Attribute paths whose writes never return, as when a driver's probe waits for hardware
    // that does not answer.
    std::set<std::string> hanging_writes;
};

// "/sys/a/b" -> "/a/b"; "" when the path is not below /sys or has empty, "." or ".." parts.
std::string path_inside_sys(std::string_view sys_path);
// The path of GPIO `name`'s value file; "" when the name cannot be a directory entry.
std::string gpio_value_path(std::string_view name);

// Each returns 0, or -EINVAL when the name or path is unusable or collides with an entry
// already in the tree. Adding what is already there succeeds and changes nothing.
int tree_add_gpio(SysfsTree& tree, std::string_view name);
int tree_add_device(SysfsTree& tree, std::string_view sys_path);
// Binds a device added before; -ENODEV when it is not known.
int tree_bind(SysfsTree& tree, std::string_view sys_path);
void tree_bind_all(SysfsTree& tree);

Node tree_lookup(const SysfsTree& tree, const std::string& path);
// The entries of directory `path`, sorted.
std::vector<std::string> tree_list(const SysfsTree& tree, const std::string& path);
// Reads a GPIO value file; 0 or a negative errno.
int tree_read(const SysfsTree& tree, const std::string& path, std::string& content);
// One write(2) to an attribute, with the kernel's answers; 0 or a negative errno.
int tree_write(SysfsTree& tree, const std::string& path, std::string_view data);
