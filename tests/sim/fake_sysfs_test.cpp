// The simulated /sys through its real binary, mounted on a scratch directory inside a private
// mount namespace and driven from the shell as vornic's test scripts will drive it.
#include "support/process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

const std::string sysfs_sim = SYSFS_SIM_BINARY;

// Shell helpers for every script, run in $DIR (the test's scratch directory):
//   sim ARGS...  starts the simulator on $DIR/mnt with config.json and the log file `log`;
//   w FILE TEXT  writes printf's TEXT to mnt/FILE in one write (bash's own printf would
//                write line by line) and says "FILE: ok" or the complaint naming the errno;
//   gone         waits up to 5 s for every simulator on $DIR/mnt to exit.
// Whatever the script does, the simulator is unmounted and waited for on the way out, so that
// its sanitizer report, if any, is in $DIR before the test looks.
const std::string prelude = R"sh(
cd "$DIR" && mkdir mnt || exit 99
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:log_path=$DIR/asan"
sim() { "$SIM" --config config.json --log log "$@" "$DIR/mnt"; }
w() {
    if /usr/bin/printf "$2" >"mnt/$1" 2>err; then
        echo "$1: ok"
    else
        echo "$1: $(sed 's/.*: //' err)"
    fi
}
gone() {
    for _ in $(seq 50); do
        pgrep -f -- "$DIR/mnt" >/dev/null || return 0
        sleep 0.1
    done
    return 1
}
trap 'umount mnt 2>/dev/null; gone' EXIT
)sh";

const std::string camera_config = R"({"vornic": {
    "set_gpio": ["acc_power", "acc_reset"],
    "bind_devices": ["/sys/bus/platform/drivers/mic/mic0", "/sys/bus/platform/drivers/mic/mic1"],
    "unbind_devices": ["/sys/bus/platform/drivers/spk/spk0"]}})";

class FakeSysfs : public ::testing::Test {
  protected:
    TempDir dir;

    Outcome run(const std::string& config, const std::string& script) {
        dir.write("config.json", config);
        return run_process({"unshare", "--mount", "--propagation", "private", "--", "/usr/bin/env",
                            "SIM=" + sysfs_sim, "DIR=" + dir.path.string(), "/bin/bash", "-c",
                            prelude + script});
    }

    void TearDown() override {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path))
            EXPECT_FALSE(entry.path().filename().string().starts_with("asan"))
                << "sanitizer report: " << entry.path();
    }
};

TEST_F(FakeSysfs, BindAndUnbindAnswerLikeTheKernelAndAreLogged) {
    Outcome result = run(camera_config, R"sh(
        sim || exit 1
        d=bus/platform/drivers
        echo $(ls mnt/$d/mic)
        w $d/mic/bind mic0
        stat -L -c %F mnt/$d/mic/mic0
        readlink mnt/$d/mic/mic0
        w $d/mic/bind mic0
        w $d/mic/bind 'mic1\n'
        echo $(ls mnt/$d/mic)
        w $d/mic/bind nope
        w $d/mic/bind spk0
        stat -c %F mnt/$d/mic/mic0
        w $d/mic/unbind mic0
        stat -c %F mnt/$d/mic/mic0 2>&1 | sed 's/.*: //'
        echo $(ls mnt/$d/mic)
        w $d/mic/unbind mic0
        w $d/spk/unbind spk0
        cat log)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "bind unbind\n"
                          "bus/platform/drivers/mic/bind: ok\n"
                          "directory\n"
                          "../../../../devices/platform/mic0\n"
                          "bus/platform/drivers/mic/bind: Device or resource busy\n"
                          "bus/platform/drivers/mic/bind: ok\n"
                          "bind mic0 mic1 unbind\n"
                          "bus/platform/drivers/mic/bind: No such device\n"
                          "bus/platform/drivers/mic/bind: No such device\n"
                          "symbolic link\n"
                          "bus/platform/drivers/mic/unbind: ok\n"
                          "No such file or directory\n"
                          "bind mic1 unbind\n"
                          "bus/platform/drivers/mic/unbind: No such device\n"
                          "bus/platform/drivers/spk/unbind: No such device\n"
                          "sysfs: ready\n"
                          "sysfs: write /sys/bus/platform/drivers/mic/bind \"mic0\" -> ok\n"
                          "sysfs: write /sys/bus/platform/drivers/mic/bind \"mic0\" -> EBUSY\n"
                          "sysfs: write /sys/bus/platform/drivers/mic/bind \"mic1\\n\" -> ok\n"
                          "sysfs: write /sys/bus/platform/drivers/mic/bind \"nope\" -> ENODEV\n"
                          "sysfs: write /sys/bus/platform/drivers/mic/bind \"spk0\" -> ENODEV\n"
                          "sysfs: write /sys/bus/platform/drivers/mic/unbind \"mic0\" -> ok\n"
                          "sysfs: write /sys/bus/platform/drivers/mic/unbind \"mic0\" -> ENODEV\n"
                          "sysfs: write /sys/bus/platform/drivers/spk/unbind \"spk0\" -> ENODEV\n");
}

TEST_F(FakeSysfs, GpioTakesZeroOrOneAndChosenWritesFailWithEio) {
    Outcome result = run(camera_config, R"sh(
        sim --fail-gpio acc_reset --fail-write /sys/bus/platform/drivers/mic/bind || exit 1
        g=class/gpio/acc_power/value
        cat mnt/$g
        w $g 1
        cat mnt/$g
        w $g '0\n'
        cat mnt/$g
        w $g 1
        w $g 2
        w $g on
        w $g '0\n\n'
        cat mnt/$g
        w class/gpio/acc_reset/value 1
        cat mnt/class/gpio/acc_reset/value
        w bus/platform/drivers/mic/bind mic0
        echo $(ls mnt/bus/platform/drivers/mic)
        w bus/platform/drivers/spk/bind spk0
        cat log)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "0\n"
                          "class/gpio/acc_power/value: ok\n"
                          "1\n"
                          "class/gpio/acc_power/value: ok\n"
                          "0\n"
                          "class/gpio/acc_power/value: ok\n"
                          "class/gpio/acc_power/value: Invalid argument\n"
                          "class/gpio/acc_power/value: Invalid argument\n"
                          "class/gpio/acc_power/value: Invalid argument\n"
                          "1\n"
                          "class/gpio/acc_reset/value: Input/output error\n"
                          "0\n"
                          "bus/platform/drivers/mic/bind: Input/output error\n"
                          "bind unbind\n"
                          "bus/platform/drivers/spk/bind: ok\n"
                          "sysfs: ready\n"
                          "sysfs: write /sys/class/gpio/acc_power/value \"1\" -> ok\n"
                          "sysfs: write /sys/class/gpio/acc_power/value \"0\\n\" -> ok\n"
                          "sysfs: write /sys/class/gpio/acc_power/value \"1\" -> ok\n"
                          "sysfs: write /sys/class/gpio/acc_power/value \"2\" -> EINVAL\n"
                          "sysfs: write /sys/class/gpio/acc_power/value \"on\" -> EINVAL\n"
                          "sysfs: write /sys/class/gpio/acc_power/value \"0\\n\\n\" -> EINVAL\n"
                          "sysfs: write /sys/class/gpio/acc_reset/value \"1\" -> EIO\n"
                          "sysfs: write /sys/bus/platform/drivers/mic/bind \"mic0\" -> EIO\n"
                          "sysfs: write /sys/bus/platform/drivers/spk/bind \"spk0\" -> ok\n");
}

TEST_F(FakeSysfs, StartingTreeTakesWhatIsUsableAndBindsAsAsked) {
    // A configuration vornic rejects still yields its usable entries; one that is not JSON at
    // all yields none, and the command line alone fills the tree.
    Outcome result = run(R"({"vornic": {"set_gpio": "acc_power",
        "bind_devices": [7, "mic/mic9", "/sys/bus/platform/drivers/mic/mic0"],
        "unbind_devices": {"spk0": true}}})",
                         R"sh(
        sim --all-bound --gpio acc_extra || exit 1
        find mnt -mindepth 1 | sort | sed 's|^mnt/||'
        umount mnt && gone || exit 1
        echo 'not json' >config.json
        sim --device /sys/bus/platform/drivers/spk/spk1 \
            --bound /sys/bus/platform/drivers/spk/spk0 || exit 1
        echo $(ls mnt) $(ls mnt/bus/platform/drivers/spk))sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "bus\n"
                          "bus/platform\n"
                          "bus/platform/drivers\n"
                          "bus/platform/drivers/mic\n"
                          "bus/platform/drivers/mic/bind\n"
                          "bus/platform/drivers/mic/mic0\n"
                          "bus/platform/drivers/mic/unbind\n"
                          "class\n"
                          "class/gpio\n"
                          "class/gpio/acc_extra\n"
                          "class/gpio/acc_extra/value\n"
                          "devices\n"
                          "devices/platform\n"
                          "devices/platform/mic0\n"
                          "bus devices bind spk0 unbind\n");
    EXPECT_NE(result.err.find("vornic-sysfs-sim: ignoring configuration config.json"),
              std::string::npos)
        << result.err;
}

TEST_F(FakeSysfs, RefusesWhatSysfsRefusesAndLetsAnyUserRead) {
    Outcome result = run(camera_config, R"sh(
        sim || exit 1
        chmod 755 "$DIR"
        d=mnt/bus/platform/drivers/mic
        stat -c '%a %F' $d/bind mnt/class/gpio/acc_power/value
        for try in "touch mnt/class/new" "mkdir mnt/new" "rm $d/unbind" "cat $d/bind" \
                   "cat mnt/class/gpio/nothing/value"; do
            $try 2>&1 | sed 's/.*: //'
        done
        printf mic0 >>$d/bind && echo "appended"
        printf mic1 | dd of=$d/bind conv=fsync status=none && echo "truncated and synced"
        echo $(ls $d)
        nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
        nobody cat mnt/class/gpio/acc_power/value
        nobody bash -c 'printf 1 >mnt/class/gpio/acc_power/value' 2>&1 | sed 's/.*: //')sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "200 regular file\n"
                          "644 regular file\n"
                          "Permission denied\n"
                          "Operation not permitted\n"
                          "Operation not permitted\n"
                          "Permission denied\n"
                          "No such file or directory\n"
                          "appended\n"
                          "truncated and synced\n"
                          "bind mic0 mic1 unbind\n"
                          "0\n"
                          "Permission denied\n");
}

TEST_F(FakeSysfs, ReturnsMountedAndExitsOnUnmountOrSigtermLeavingNothingOnTheHost) {
    dir.write("log", "platform: started\n");
    Outcome result = run(camera_config, R"sh(
        sim || exit 1
        echo $(ls mnt/class/gpio)
        echo "running: $(pgrep -fc -- "$DIR/mnt")"
        umount mnt && gone && echo "gone after umount"
        mountpoint -q mnt || echo "unmounted"
        sim || exit 1
        kill -TERM $(pgrep -f -- "$DIR/mnt")
        gone && echo "gone after SIGTERM"
        mountpoint -q mnt || echo "unmounted"
        cat log)sh");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "acc_power acc_reset\n"
                          "running: 1\n"
                          "gone after umount\n"
                          "unmounted\n"
                          "gone after SIGTERM\n"
                          "unmounted\n"
                          "platform: started\n"
                          "sysfs: ready\n"
                          "sysfs: ready\n");

    // The mounts stayed in the namespace, and no mount record reached the host's /run.
    auto mentions_mountpoint = [&](const char* file) {
        std::stringstream content;
        content << std::ifstream(file).rdbuf();
        return content.str().find(dir.path.string()) != std::string::npos;
    };
    EXPECT_FALSE(mentions_mountpoint("/proc/self/mountinfo"));
    EXPECT_FALSE(mentions_mountpoint("/run/mount/utab"));
}

} // namespace
