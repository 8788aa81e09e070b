// SPDX-License-Identifier: MIT
// The reboot record on disk, in a temporary directory: what reads as no reboot, what reads as
// a damaged record, and a replacement that leaves the old record whole when it fails.
#include "handler/reboot_record.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

const RebootRecord two_reboots = {2, "6c1f4a0e-0d1b-4e55-9a43-3f0f1c2b7d10", ""};

TEST(RebootRecordFile, WrittenRecordIsReadBackAndNothingElseIsLeft) {
    TempDir dir;
    std::string state = dir / "state"; // not there yet: created, for the owner alone
    ASSERT_EQ(write_reboot_record(state, RebootRecord{1, "a", ""}), 0);
    ASSERT_EQ(write_reboot_record(state, two_reboots), 0);

    std::optional<RebootRecord> read = read_reboot_record(state);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->reboots, 2u);
    EXPECT_EQ(read->requested_in, two_reboots.requested_in);
    EXPECT_EQ(dir.read("state/reboots"), format_record(two_reboots));
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(state))
        names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"reboots"});
    struct stat status;
    ASSERT_EQ(stat(state.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    ASSERT_EQ(stat((state + "/reboots").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
}

TEST(RebootRecordFile, NoFileIsNoRebootAndADamagedOneIsUnreadable) {
    TempDir dir;
    std::optional<RebootRecord> none = read_reboot_record(dir / "missing");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->reboots, 0u);

    struct Row {
        const char* name;
        std::function<void(const TempDir&)> make;
        int error;
    };
    const Row rows[] = {
        {"cut short by a power cut", [](const TempDir& d) { d.write("reboots", ""); }, EBADMSG},
        {"not a record", [](const TempDir& d) { d.write("reboots", "reboots one\n"); }, EBADMSG},
        {"longer than any record",
         [](const TempDir& d) { d.write("reboots", "reboots 1\n" + std::string(600, '\n')); },
         EFBIG},
        {"a link, not followed",
         [](const TempDir& d) {
             d.write("elsewhere", "reboots 0\n");
             fs::create_symlink(d / "elsewhere", d / "reboots");
         },
         ELOOP},
        {"a directory", [](const TempDir& d) { fs::create_directory(d / "reboots"); }, EISDIR},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir state;
        row.make(state);
        errno = 0;
        EXPECT_FALSE(read_reboot_record(state.path));
        EXPECT_EQ(errno, row.error);
    }
}

TEST(RebootRecordFile, FailedReplacementKeepsTheOldRecord) {
    TempDir dir;
    ASSERT_EQ(write_reboot_record(dir.path, two_reboots), 0);
    // The temporary file cannot be created where a directory of its name stands.
    fs::create_directory(dir / "reboots.new");
    EXPECT_EQ(write_reboot_record(dir.path, RebootRecord{}), -EISDIR);
    EXPECT_EQ(dir.read("reboots"), format_record(two_reboots));

    // A state directory whose parent is missing is not created: it is on the wrong storage.
    EXPECT_EQ(write_reboot_record(dir / "no/state", RebootRecord{}), -ENOENT);
}

TEST(BootId, ReadWithoutItsLineBreakAndEmptyWhenUnreadable) {
    TempDir dir;
    std::string id = dir.write("boot_id", "6c1f4a0e-0d1b-4e55-9a43-3f0f1c2b7d10\n");
    EXPECT_EQ(read_boot_id(id.c_str()), "6c1f4a0e-0d1b-4e55-9a43-3f0f1c2b7d10");
    EXPECT_EQ(read_boot_id((dir / "missing").c_str()), "");
    // The kernel's own file: one id, the same at each read within a boot.
    std::string boot = read_boot_id(BOOT_ID_PATH);
    EXPECT_EQ(boot.size(), 36u);
    EXPECT_EQ(read_boot_id(BOOT_ID_PATH), boot);
}

} // namespace
