// SPDX-License-Identifier: MIT
// A private temporary directory, removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>

struct TempDir {
    std::filesystem::path path;

    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Writes `content` to the file `name` inside the directory and returns its path.
    std::string write(const std::string& name, const std::string& content) const;
    // The content of the file `name` inside the directory; empty when there is none.
    std::string read(const std::string& name) const;
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};
