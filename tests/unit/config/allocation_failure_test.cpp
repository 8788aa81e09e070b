// SPDX-License-Identifier: MIT
// Loading the configuration when memory runs out at any allocation: a clean failure with an
// error line, and nothing leaked (the sanitizer build checks the latter).
#include "config/config.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {

// Counts down the allocations made through operator new while armed; the one that reaches
// zero fails. -1 disarms.
thread_local long allocations_until_failure = -1;

} // namespace

void* operator new(std::size_t size) {
    if (allocations_until_failure == 0) {
        allocations_until_failure = -1;
        throw std::bad_alloc();
    }
    if (allocations_until_failure > 0)
        allocations_until_failure--;
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}
// This operator new takes its memory from malloc, so free is the matching release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

namespace {

TEST(LoadConfig, EveryFailedAllocationIsACleanFailure) {
    TempDir dir;
    std::string path = dir.write("vornic.json", R"({"vornic": {"sync_irlight": true,
        "bind_devices": ["/sys/bus/platform/drivers/mic/mic0", "/sys/bus/platform/drivers/mic/mic1"],
        "startstop_services": ["audiod", "streamd"], "set_gpio": ["acc_power"]}})");

    bool loaded = false;
    int failures = 0;
    for (long allowed = 0; allowed < 1000 && !loaded; allowed++) {
        testing::internal::CaptureStderr();
        allocations_until_failure = allowed;
        std::optional<HandlerConfig> config = load_config(path.c_str());
        bool failed_allocation = allocations_until_failure == -1;
        allocations_until_failure = -1;
        std::string err = testing::internal::GetCapturedStderr();

        if (config) {
            loaded = true;
            EXPECT_FALSE(failed_allocation) << "an allocation failed, yet a record came back";
            EXPECT_EQ(config->startstop_services,
                      (std::vector<std::string>{"audiod", "streamd"}));
            continue;
        }
        failures++;
        EXPECT_TRUE(err.starts_with("<3> ")) << "allocation " << allowed << " failed: " << err;
    }
    EXPECT_TRUE(loaded);
    EXPECT_GT(failures, 3);
}

} // namespace
