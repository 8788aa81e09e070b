// SPDX-License-Identifier: MIT
// Driver binding, GPIO writes and the bound test, against driver directories made of plain
// files in a temporary directory.
#include "handler/sysfs.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct Binding {
    int result;
    std::string err;
};

Binding bind_devices(const char* attribute, const std::vector<std::string>& devices,
                     bool ignore_errors) {
    testing::internal::CaptureStderr();
    int result = set_driver_binding(attribute, devices, ignore_errors);
    return {result, testing::internal::GetCapturedStderr()};
}

// A driver directory holding empty "bind" and "unbind" attributes.
std::string make_driver(const TempDir& dir, const std::string& name) {
    dir.write(name + "/bind", "");
    dir.write(name + "/unbind", "");
    return dir / name;
}

TEST(SetDriverBinding, BindPassesOverBoundDevicesAndUnbindWritesEvenThose) {
    TempDir dir;
    std::string mic = make_driver(dir, "mic");
    std::string snd = make_driver(dir, "snd");
    std::string spk = make_driver(dir, "spk");
    // Bound: the device's entry is a directory, or, as the kernel makes it, a link to one.
    fs::create_directory(mic + "/1-0040");
    fs::create_directory(dir / "devices");
    fs::create_directory_symlink(dir / "devices", mic + "/1-0041");
    // Not bound: a plain file, or no entry at all.
    dir.write("snd/1-1", "");

    Binding bind = bind_devices("bind", {mic + "/1-0040", snd + "/1-1", mic + "/1-0041", spk + "/2"},
                                false);
    EXPECT_EQ(bind.result, 0);
    EXPECT_EQ(bind.err, "");
    EXPECT_EQ(dir.read("mic/bind"), "");
    EXPECT_EQ(dir.read("snd/bind"), "1-1");
    EXPECT_EQ(dir.read("spk/bind"), "2");

    Binding unbind = bind_devices("unbind", {mic + "/1-0040", spk + "/2"}, true);
    EXPECT_EQ(unbind.result, 0);
    EXPECT_EQ(unbind.err, "");
    EXPECT_EQ(dir.read("mic/unbind"), "1-0040");
    EXPECT_EQ(dir.read("spk/unbind"), "2");
    EXPECT_EQ(dir.read("snd/unbind"), "");
}

TEST(SetDriverBinding, AttributeThatCannotBeWrittenFailsBindButNotIgnoredUnbind) {
    TempDir dir;
    fs::create_directories(dir / "broken/bind");
    fs::create_directories(dir / "broken/unbind");
    std::string good = make_driver(dir, "good");
    fs::create_directory(dir / "full");
    fs::create_symlink("/dev/full", dir / "full/bind");

    Binding bind = bind_devices("bind", {dir / "broken/dev", good + "/dev"}, false);
    EXPECT_EQ(bind.result, -1);
    EXPECT_EQ(bind.err, "<3> Unable to open device: " + (dir / "broken/bind") +
                            ": Is a directory\n"
                            "<3> Unable to bind device " +
                            (dir / "broken/bind") + ": (Is a directory)\n");
    EXPECT_EQ(dir.read("good/bind"), "") << "devices after a failed bind are untouched";

    Binding rejected = bind_devices("bind", {dir / "full/dev"}, false);
    EXPECT_EQ(rejected.result, -1);
    EXPECT_EQ(rejected.err,
              "<3> Unable to bind device " + (dir / "full/bind") + ": (No space left on device)\n");

    Binding unbind = bind_devices("unbind", {dir / "broken/dev", good + "/dev"}, true);
    EXPECT_EQ(unbind.result, 0);
    EXPECT_EQ(unbind.err,
              "<3> Unable to open device: " + (dir / "broken/unbind") + ": Is a directory\n");
    EXPECT_EQ(dir.read("good/unbind"), "dev");
}

TEST(SetDriverBinding, PathWithoutSlashStopsTheRunEvenWhenErrorsAreIgnored) {
    TempDir dir;
    std::string first = make_driver(dir, "first");
    std::string last = make_driver(dir, "last");

    Binding run = bind_devices("unbind", {first + "/dev", "dev", last + "/dev"}, true);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.err, "<3> Incorrectly formatted device path: dev\n");
    EXPECT_EQ(dir.read("first/unbind"), "dev");
    EXPECT_EQ(dir.read("last/unbind"), "");
}

// Creates nested directories under `dir` so that the returned directory part, with its
// trailing '/', is exactly `length` characters long.
std::string directory_of_length(const TempDir& dir, size_t length) {
    std::string path = dir.path.string();
    while (path.size() + 102 < length)
        path.append("/").append(50, 'd');
    // The last component, 50 to 100 characters, takes what is left but the final '/'. (Appended
    // piece by piece: GCC 12 at -O3 takes "/" + string for an overlapping copy, -Wrestrict.)
    path += '/';
    path.append(length - path.size() - 1, 'd');
    fs::create_directories(path);
    return path + "/";
}

// The attribute path is cut to 254 characters; a directory part that does not fit at all
// cannot name a driver. None of these attribute files exists, so an uncut path shows too.
TEST(SetDriverBinding, LongPathsAreCutAt254CharactersOrRefused) {
    TempDir dir;
    std::string driver = directory_of_length(dir, 250);
    Binding name_cut = bind_devices("unbind", {driver + "dev"}, true);
    EXPECT_EQ(name_cut.result, 0);
    EXPECT_EQ(name_cut.err, "<3> Unable to open device: " + driver + "unbi: No such file or directory\n");

    // 255 still fits: the attribute name is cut away entirely, and so is the final '/'.
    std::string fits = directory_of_length(dir, 255);
    Binding edge = bind_devices("unbind", {fits + "dev"}, false);
    EXPECT_EQ(edge.result, -1);
    std::string cut = fits.substr(0, 254);
    EXPECT_EQ(edge.err, "<3> Unable to open device: " + cut + ": Is a directory\n" +
                            "<3> Unable to unbind device " + cut + ": (Is a directory)\n");

    std::string too_long = directory_of_length(dir, 256);
    Binding refused = bind_devices("bind", {too_long + "dev"}, true);
    EXPECT_EQ(refused.result, -1);
    EXPECT_EQ(refused.err, "<3> Incorrectly formatted device path: " + too_long + "dev\n");
}

TEST(WriteGpioValue, WritesExactlyOneDigitAndLeavesReportingToTheCaller) {
    TempDir dir;
    std::string value = dir.write("gpio/value", "");
    EXPECT_EQ(write_gpio_value(value.c_str(), 1), 0);
    EXPECT_EQ(dir.read("gpio/value"), "1");
    EXPECT_EQ(write_gpio_value(value.c_str(), 0), 0);
    EXPECT_EQ(dir.read("gpio/value"), "0");

    testing::internal::CaptureStderr();
    EXPECT_EQ(write_gpio_value((dir / "missing/value").c_str(), 1), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

} // namespace
