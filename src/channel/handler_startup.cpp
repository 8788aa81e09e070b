// Start-up of the action handler: the listening socket comes from systemd's socket activation
// or is created here, then the wait loop runs once with the 8-second quiet period.
#include "channel/handler_startup.h"

#include "channel/action_code.h"
#include "config/config.h"
#include "handler/wait_loop.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

constexpr uint32_t QUIET_PERIOD_SECONDS = 8;

UniqueFd create_listening_socket() {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    strcpy(address.sun_path, ACTION_SOCKET_PATH);

    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM, 0));
    if (!fd) {
        perror("Unable to open socket");
        return fd;
    }
    // Group and others lose read and write: only root may connect to a socket of mode 0711.
    // The mask also stays for everything the handler creates or runs later.
    umask(066);
    unlink(ACTION_SOCKET_PATH);
    if (bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        perror("bind(listen_fd)");
        return UniqueFd();
    }
    // Backlog 0: clients that come while the handler is busy wait in their connect loop.
    if (listen(fd.get(), 0) != 0) {
        perror("listen(listen_fd)");
        return UniqueFd();
    }
    return fd;
}

int run_action_handler() {
    int passed = sd_listen_fds(0);
    if (passed > 1) {
        fprintf(stderr, "Too many file descriptors received\n");
        return 1;
    }
    UniqueFd listen_fd = passed == 1 ? UniqueFd(SD_LISTEN_FDS_START) : create_listening_socket();
    if (!listen_fd)
        return 1;
    // The IR script and anything it starts must not keep the action socket open.
    fcntl(listen_fd.get(), F_SETFD, FD_CLOEXEC);

    std::optional<HandlerConfig> config = load_config(CONFIG_PATH);
    if (!config) {
        fprintf(stderr, "Failed to get configuration\n");
        return 1;
    }
    return wait_and_execute(listen_fd.get(), *config, QUIET_PERIOD_SECONDS);
}
