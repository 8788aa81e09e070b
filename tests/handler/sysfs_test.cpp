// Driver binding, GPIO writes and the bound test, against driver directories made of plain
// files in a temporary directory.
#include "handler/sysfs.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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

TEST(SetDriverBinding, BindPassesOverBoundDevicesAndWritesTheOthers) {
    TempDir dir;
    std::string bound = make_driver(dir, "mic");
    std::string unbound = make_driver(dir, "snd");
    fs::create_directory(bound + "/1-0040");
    // The kernel's entry is a link to the device's own directory.
    fs::create_directory(dir / "devices");
    fs::create_directory_symlink(dir / "devices", bound + "/1-0041");

    Binding run = bind_devices("bind", {bound + "/1-0040", unbound + "/1-1", bound + "/1-0041"},
                               false);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(read_file(bound + "/bind"), "");
    EXPECT_EQ(read_file(unbound + "/bind"), "1-1");
    EXPECT_EQ(read_file(unbound + "/unbind"), "");
}

TEST(SetDriverBinding, UnbindWritesEvenDevicesThatAreNotBound) {
    TempDir dir;
    std::string bound = make_driver(dir, "mic");
    std::string unbound = make_driver(dir, "snd");
    fs::create_directory(bound + "/1-0040");

    Binding run = bind_devices("unbind", {bound + "/1-0040", unbound + "/1-1"}, true);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(read_file(bound + "/unbind"), "1-0040");
    EXPECT_EQ(read_file(unbound + "/unbind"), "1-1");
    EXPECT_EQ(read_file(bound + "/bind"), "");
}

TEST(SetDriverBinding, AttributeThatCannotBeOpenedFailsBindButNotIgnoredUnbind) {
    TempDir dir;
    fs::create_directories(dir / "broken/bind");
    fs::create_directories(dir / "broken/unbind");
    std::string good = make_driver(dir, "good");

    Binding bind = bind_devices("bind", {dir / "broken/dev", good + "/dev"}, false);
    EXPECT_EQ(bind.result, -1);
    EXPECT_EQ(bind.err, "<3> Unable to open device: " + (dir / "broken/bind") +
                            ": Is a directory\n"
                            "<3> Unable to bind device " +
                            (dir / "broken/bind") + ": (Is a directory)\n");
    EXPECT_EQ(read_file(good + "/bind"), "") << "devices after a failed bind are untouched";

    Binding unbind = bind_devices("unbind", {dir / "broken/dev", good + "/dev"}, true);
    EXPECT_EQ(unbind.result, 0);
    EXPECT_EQ(unbind.err,
              "<3> Unable to open device: " + (dir / "broken/unbind") + ": Is a directory\n");
    EXPECT_EQ(read_file(good + "/unbind"), "dev");
}

TEST(SetDriverBinding, RejectedWriteNamesTheAttributeAndTheError) {
    TempDir dir;
    fs::create_directory(dir / "full");
    fs::create_symlink("/dev/full", dir / "full/bind");

    Binding run = bind_devices("bind", {dir / "full/dev"}, false);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.err,
              "<3> Unable to bind device " + (dir / "full/bind") + ": (No space left on device)\n");
}

TEST(SetDriverBinding, PathWithoutSlashStopsTheRunEvenWhenErrorsAreIgnored) {
    TempDir dir;
    std::string first = make_driver(dir, "first");
    std::string last = make_driver(dir, "last");

    Binding run = bind_devices("unbind", {first + "/dev", "dev", last + "/dev"}, true);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.err, "<3> Incorrectly formatted device path: dev\n");
    EXPECT_EQ(read_file(first + "/unbind"), "dev");
    EXPECT_EQ(read_file(last + "/unbind"), "");
}

// Creates nested directories under `dir` so that the returned directory part, with its
// trailing '/', is exactly `length` characters long.
std::string directory_of_length(const TempDir& dir, size_t length) {
    std::string path = dir.path.string();
    while (path.size() + 1 < length) {
        // Characters still to add before the final '/'; the last step takes them all, and
        // earlier steps leave it at least two (a '/' and one character).
        size_t remaining = length - 1 - path.size();
        size_t component = remaining > 101 ? 50 : remaining - 1;
        path += '/';
        path.append(component, 'd');
    }
    fs::create_directories(path);
    return path + "/";
}

TEST(SetDriverBinding, LongAttributePathIsCutTo254Characters) {
    TempDir dir;
    std::string driver = directory_of_length(dir, 250);
    ASSERT_EQ(driver.size(), 250u);
    std::ofstream(driver + "unbind").flush();

    Binding run = bind_devices("unbind", {driver + "dev"}, true);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.err, "<3> Unable to open device: " + driver + "unbi: No such file or directory\n");
    EXPECT_EQ(read_file(driver + "unbind"), "");
}

TEST(SetDriverBinding, DirectoryPartLongerThanTheBufferIsMalformed) {
    TempDir dir;
    // 255 still fits: the attribute name is cut away entirely, and so is the final '/'.
    std::string fits = directory_of_length(dir, 255);
    Binding edge = bind_devices("unbind", {fits + "dev"}, false);
    EXPECT_EQ(edge.result, -1);
    std::string cut = fits.substr(0, 254);
    EXPECT_EQ(edge.err, "<3> Unable to open device: " + cut + ": Is a directory\n" +
                            "<3> Unable to unbind device " + cut + ": (Is a directory)\n");

    for (size_t length : {256u, 300u, 600u}) {
        SCOPED_TRACE(length);
        std::string driver = directory_of_length(dir, length);
        std::ofstream(driver + "bind").flush();
        std::ofstream(driver + "unbind").flush();
        for (const char* attribute : {"bind", "unbind"}) {
            Binding run = bind_devices(attribute, {driver + "dev"}, true);
            EXPECT_EQ(run.result, -1);
            EXPECT_EQ(run.err, "<3> Incorrectly formatted device path: " + driver + "dev\n");
        }
        EXPECT_EQ(read_file(driver + "bind"), "");
        EXPECT_EQ(read_file(driver + "unbind"), "");
    }
}

TEST(WriteGpioValue, WritesExactlyOneDigit) {
    TempDir dir;
    std::string value = dir.write("gpio/value", "");
    EXPECT_EQ(write_gpio_value(value.c_str(), 1), 0);
    EXPECT_EQ(read_file(value), "\x31");
    EXPECT_EQ(write_gpio_value(value.c_str(), 0), 0);
    EXPECT_EQ(read_file(value), "0");

    testing::internal::CaptureStderr();
    EXPECT_EQ(write_gpio_value((dir / "missing/value").c_str(), 1), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the caller reports the failure";
}

TEST(IsDeviceBound, OnlyADirectoryOrALinkToOneIsBound) {
    TempDir dir;
    fs::create_directory(dir / "device");
    fs::create_directory_symlink(dir / "device", dir / "link");
    std::string file = dir.write("file", "");
    fs::create_symlink(dir / "gone", dir / "dangling");

    EXPECT_TRUE(is_device_bound((dir / "device").c_str()));
    EXPECT_TRUE(is_device_bound((dir / "link").c_str()));
    EXPECT_FALSE(is_device_bound(file.c_str()));
    EXPECT_FALSE(is_device_bound((dir / "dangling").c_str()));
    EXPECT_FALSE(is_device_bound((dir / "missing").c_str()));
}

} // namespace
