// SPDX-License-Identifier: MIT
#include "support/sandbox.h"

#include "support/temp_dir.h"

#include <filesystem>
#include <sstream>

SandboxOutcome Sandbox::run(const std::vector<std::string>& command) const {
    TempDir scratch;
    std::vector<std::string> argv = {VORNIC_SANDBOX, "--build", VORNIC_BUILD_DIR, "--state-dir",
                                     scratch / "out"};
    if (config) {
        argv.push_back("--config");
        argv.push_back(scratch.write("vornic.json", *config));
    }
    for (const std::string& arg : platform_args)
        argv.insert(argv.end(), {"--platform-arg", arg});
    for (const std::string& arg : sysfs_args)
        argv.insert(argv.end(), {"--sysfs-arg", arg});
    if (no_bus)
        argv.push_back("--no-bus");
    if (stock_policy)
        argv.push_back("--stock-policy");
    if (ir_exit)
        argv.insert(argv.end(), {"--ir-exit", std::to_string(*ir_exit)});
    else
        argv.push_back("--no-ir-script");
    argv.push_back("--");
    argv.insert(argv.end(), command.begin(), command.end());

    SandboxOutcome outcome;
    static_cast<Outcome&>(outcome) = run_process(argv);
    outcome.log = scratch.read("out/platform.log");
    std::error_code no_directory; // a sandbox that failed early may have made none
    for (const auto& entry : std::filesystem::directory_iterator(scratch / "out", no_directory)) {
        std::string name = entry.path().filename().string();
        if (name != "platform.log" && name != "state" && name != "sandbox.err")
            outcome.files[name] = scratch.read("out/" + name);
    }
    return outcome;
}

SandboxOutcome Sandbox::shell(const std::string& script) const {
    return run({"/usr/bin/env", "VORNIC=" + vornic_binary, "ACCEPT_ONCE=" + accept_once_binary,
                std::string("PROBE=") + PROBE_BINARY, std::string("RAW_CLIENT=") + RAW_CLIENT_BINARY,
                std::string("FLOOD=") + FLOOD_BINARY,
                std::string("PLATFORM_SIM=") + VORNIC_BUILD_DIR + "/sim/platform/vornic-platform-sim",
                "/bin/bash", "-c", script});
}

std::vector<std::string> lines_starting(const std::string& text, std::string_view prefix) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        if (line.starts_with(prefix))
            lines.push_back(line);
    return lines;
}

std::vector<std::string> platform_calls(const std::string& log) {
    std::vector<std::string> calls;
    for (const std::string& line : lines_starting(log, ""))
        if (!line.starts_with("sysfs: ready"))
            calls.push_back(line.substr(0, line.find(" -> ")));
    return calls;
}
