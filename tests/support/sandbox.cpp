#include "support/sandbox.h"

#include "support/temp_dir.h"

Outcome Sandbox::run(const std::vector<std::string>& command) const {
    TempDir scratch;
    std::vector<std::string> argv = {VORNIC_SANDBOX};
    if (config) {
        argv.push_back("--config");
        argv.push_back(scratch.write("vornic.json", *config));
    }
    argv.push_back("--");
    argv.insert(argv.end(), command.begin(), command.end());
    return run_process(argv);
}

Outcome Sandbox::shell(const std::string& script) const {
    return run({"/usr/bin/env", "VORNIC=" + vornic_binary, "ACCEPT_ONCE=" + accept_once_binary,
                "/bin/bash", "-c", script});
}
