// SPDX-License-Identifier: MIT
// The configuration check of the command line: the loader's verdict on a file, then a line for
// each doubt about it.
#pragma once

// Loads the file at `path` as the handler would, writing the loader's diagnostics, then writes
// a level-4 line for each finding of check_document(). Returns 0 when the file is usable, 1
// when the loader refuses it, and also 1 when there were findings and `findings_fail`.
int check_config_file(const char* path, bool findings_fail);
