// SPDX-License-Identifier: MIT
// The configuration check on files: silent on a good one, one warning line for each doubt
// with its place in the document, the loader's refusals, and when warnings make it fail.
#include "config/check_file.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

const std::string good = R"({"other": 1, "vornic": {
    "sync_irlight": true, "trigger_mic_swap": false, "never_reboot": false,
    "set_gpio": ["acc_power", "acc_reset"],
    "bind_devices": ["/sys/bus/platform/drivers/mic/mic0", "/sys/bus/platform/drivers/mic/mic1"],
    "unbind_devices": ["/sys/bus/platform/drivers/mic/mic0"],
    "startstop_services": ["audiod", "streamd"], "reload_services": []}})";

// The "vornic" object with `members` only.
std::string section(const std::string& members) { return R"({"vornic": {)" + members + "}}"; }

struct Row {
    std::string document;
    std::string err;
    int status;             // with -t once; with -t twice, warnings alone fail as well
};

const Row rows[] = {
    {good, "", 0},
    {section(R"("neverreboot": true)"),
     "<4> vornic.neverreboot: unknown key 'neverreboot' is ignored; did you mean "
     "'never_reboot'?\n",
     0},
    {section(R"("bind_device": [], "SetGpio": [])"),
     "<4> vornic.bind_device: unknown key 'bind_device' is ignored; did you mean "
     "'bind_devices'?\n"
     "<4> vornic.SetGpio: unknown key 'SetGpio' is ignored; did you mean 'set_gpio'?\n",
     0},
    // A key from the file cannot start a journal record of its own.
    {section(R"("x\n<2> forged": 1)"),
     "<4> vornic.x?<2> forged: unknown key 'x?<2> forged' is ignored; did you mean "
     "'sync_irlight'?\n",
     0},
    {section(R"("unbind_devices": ["mic0", "/sys/bus/platform/drivers/mic/mic0"])"),
     "<4> vornic.unbind_devices[0]: device path 'mic0' has no driver directory part; the "
     "handler refuses it\n",
     0},
    {section(R"("set_gpio": ["acc_power", "gpio/acc_reset"])"),
     "<4> vornic.set_gpio[1]: GPIO name 'gpio/acc_reset' holds a '/'\n", 0},
    // "/sys/class/gpio/" and "/value" take 22 of the 254 characters.
    {section(R"("set_gpio": [")" + std::string(232, 'x') + R"("])"), "", 0},
    {section(R"("set_gpio": [")" + std::string(233, 'x') + R"("])"),
     "<4> vornic.set_gpio[0]: GPIO name '" + std::string(233, 'x') +
         "' makes a value path longer than 254 characters; setting it fails\n",
     0},
    {section(R"("reload_services": ["eventd", ""])"),
     "<4> vornic.reload_services[1]: empty string\n", 0},
    // An entry from the file cannot start a journal record either.
    {section(R"("startstop_services": ["a\n<2> b", "streamd", "a\n<2> b"])"),
     "<4> vornic.startstop_services[2]: 'a?<2> b' is listed already at "
     "vornic.startstop_services[0]\n",
     0},
    {R"({"vornic": [{"never_reboot": true}]})",
     "<4> vornic: not an object, so every setting reads as absent\n", 0},
    // Refused by the loader; what it would also warn about is still said.
    {section(R"("never_reboot": "no", "sync_irlite": true)"),
     "<3> Invalid value for 'never_reboot', expected a boolean.\n"
     "<4> vornic.sync_irlite: unknown key 'sync_irlite' is ignored; did you mean "
     "'sync_irlight'?\n",
     1},
    {R"(["vornic"])", "<4> The root is not a JSON object\n", 1},
    {"{", "<4> Failed to allocate the root JSON object: 'string or '}' expected near end of "
          "file'\n",
     1},
};

TEST(CheckConfigFile, GoodFileIsSilentEachDoubtIsOneWarningAndARefusalFails) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.document);
        TempDir dir;
        std::string path = dir.write("vornic.json", row.document);
        for (bool strict : {false, true}) {
            testing::internal::CaptureStderr();
            int status = check_config_file(path.c_str(), strict);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), row.err);
            EXPECT_EQ(status, strict && !row.err.empty() ? 1 : row.status) << strict;
        }
    }
}

} // namespace
