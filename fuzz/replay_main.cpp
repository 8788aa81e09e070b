// SPDX-License-Identifier: MIT
// Replays fuzz inputs through a target without libFuzzer, so that the ordinary build (and the
// camera's, under its emulator) checks every input of the corpus on each test run.
//   replay_<target> FILE|DIRECTORY...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void replay(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(stream)),
                            std::istreambuf_iterator<char>());
    // Printed first, so that the input behind an abort is the last one named.
    printf("%s\n", file.c_str());
    fflush(stdout);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

int main(int argc, char* argv[]) {
    size_t replayed = 0;
    for (int i = 1; i < argc; i++) {
        if (!std::filesystem::exists(argv[i])) {
            fprintf(stderr, "%s: no such file or directory\n", argv[i]);
            return 1;
        }
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(argv[i])) {
            for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(argv[i]);
        }
        for (const auto& file : files)
            replay(file);
        replayed += files.size();
    }
    // An empty or misnamed corpus must not pass as a clean replay.
    if (replayed == 0) {
        fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    printf("replayed %zu inputs\n", replayed);
    return 0;
}
