// SPDX-License-Identifier: MIT
// What a configuration document holds that the loader accepts but that is almost certainly a
// mistake: each finding as data, with the place in the document it is about.
#pragma once

#include <jansson.h>

#include <string>
#include <vector>

enum class Doubt {
    section_not_object, // "vornic" is not an object: every setting reads as absent
    unknown_key,        // `other` is the closest known key
    empty_string,
    duplicate_entry,     // `other` is the place of the first one
    no_driver_directory, // a device path the handler refuses to bind or unbind
    gpio_name_with_slash,
    gpio_path_too_long,
};

struct Finding {
    Doubt doubt;
    std::string place; // e.g. "vornic.set_gpio[1]"
    std::string value; // the key or entry concerned, as the document has it
    std::string other = {};
};

// The findings about the document `root` (a JSON object), in the document's order. Values of
// the wrong type are the loader's to refuse and are passed over here.
std::vector<Finding> check_document(const json_t* root);
