// SPDX-License-Identifier: MIT
// Looks through the "vornic" object member by member, in the document's order, for what the
// loader takes without a word but the handler would trip over or silently ignore.
#include "config/check.h"

#include "handler/sysfs.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <string_view>

namespace {

enum class KeyKind { flag, services, devices, gpios };

struct Key {
    const char* name;
    KeyKind kind;
};

// Every key the loader reads, in its order.
constexpr Key known_keys[] = {
    {"sync_irlight", KeyKind::flag},        {"trigger_mic_swap", KeyKind::flag},
    {"never_reboot", KeyKind::flag},        {"bind_devices", KeyKind::devices},
    {"unbind_devices", KeyKind::devices},   {"startstop_services", KeyKind::services},
    {"reload_services", KeyKind::services}, {"set_gpio", KeyKind::gpios},
};

const Key* find_key(std::string_view name) {
    for (const Key& key : known_keys)
        if (name == key.name)
            return &key;
    return nullptr;
}

size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), size_t{0});
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The findings about one entry of a list; an empty entry is only that.
void check_entry(KeyKind kind, const std::string& place, const std::string& entry,
                 std::vector<Finding>& findings) {
    if (entry.empty()) {
        findings.push_back({Doubt::empty_string, place, entry});
        return;
    }
    if (kind == KeyKind::devices) {
        AttributePath unused;
        if (driver_attribute_path(unused, entry, "unbind") == 0)
            findings.push_back({Doubt::no_driver_directory, place, entry});
    }
    if (kind == KeyKind::gpios) {
        if (entry.find('/') != std::string::npos)
            findings.push_back({Doubt::gpio_name_with_slash, place, entry});
        if (!gpio_value_path(entry))
            findings.push_back({Doubt::gpio_path_too_long, place, entry});
    }
}

void check_list(KeyKind kind, const std::string& place, const json_t* list,
                std::vector<Finding>& findings) {
    // Where each entry was first seen.
    std::map<std::string, std::string> first_places;
    for (size_t index = 0; index < json_array_size(list); index++) {
        const char* text = json_string_value(json_array_get(list, index));
        if (!text)
            continue;
        std::string entry_place = place + "[" + std::to_string(index) + "]";
        std::string entry = text;
        check_entry(kind, entry_place, entry, findings);
        auto [first, inserted] = first_places.emplace(entry, entry_place);
        if (!inserted)
            findings.push_back({Doubt::duplicate_entry, entry_place, entry, first->second});
    }
}

// The known key closest to `key` by edit distance; the first in the loader's order on a tie.
std::string closest_key(const std::string& key) {
    const Key* closest = &known_keys[0];
    size_t best = edit_distance(key, closest->name);
    for (const Key& candidate : known_keys) {
        size_t distance = edit_distance(key, candidate.name);
        if (distance < best) {
            best = distance;
            closest = &candidate;
        }
    }
    return closest->name;
}

} // namespace

std::vector<Finding> check_document(const json_t* root) {
    std::vector<Finding> findings;
    // jansson's getters take non-const pointers but do not modify the document.
    json_t* section = json_object_get(root, "vornic");
    if (!section)
        return findings;
    if (!json_is_object(section)) {
        findings.push_back({Doubt::section_not_object, "vornic", "vornic"});
        return findings;
    }
    const char* name;
    json_t* value;
    json_object_foreach(section, name, value) {
        std::string place = std::string("vornic.") + name;
        const Key* key = find_key(name);
        if (!key)
            findings.push_back({Doubt::unknown_key, place, name, closest_key(name)});
        else if (key->kind != KeyKind::flag && json_is_array(value))
            check_list(key->kind, place, value, findings);
    }
    return findings;
}
