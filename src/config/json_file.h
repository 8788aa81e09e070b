// SPDX-License-Identifier: MIT
// Reading a JSON document whose root must be an object, from a file or from text.
#pragma once

#include "common/handles.h"

// Parses NUL-terminated `text`; on success stores the root object in `root` and returns 0.
// On failure writes the reason to stderr and returns -1.
int parse_json_object(const char* text, JsonPtr& root);

// Reads the file at `path` and parses it as parse_json_object() does.
int read_json_file(const char* path, JsonPtr& root);
