// SPDX-License-Identifier: MIT
// The handler's own small records: read whole, and replaced atomically. Every file is opened
// afresh, without following a link, and closed before returning.
#pragma once

#include <string>

// A record is a few short lines; anything longer is not one.
inline constexpr size_t MAX_SMALL_FILE_SIZE = 512;

// Reads the file at `path` into `text`. Returns 0 or a negative errno; -EFBIG when the file
// is longer than MAX_SMALL_FILE_SIZE.
int read_small_file(const std::string& path, std::string& text);

// Replaces the file `name` in `dir` with `text`, creating the directory (mode 0700) if only
// it is missing. A reader, even after a power cut, finds the old text or the new one, never
// a part of either: the new one is written to a temporary file, synced, renamed over the old
// one, and the directory synced. Returns 0 or a negative errno.
int replace_small_file(const std::string& dir, const std::string& name, const std::string& text);
