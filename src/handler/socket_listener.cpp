// SPDX-License-Identifier: MIT
// Asks the kernel's socket diagnostics (NETLINK_SOCK_DIAG) for the listening Unix sockets and
// the files they are bound to, and compares those with the file at the path.
#include "handler/socket_listener.h"

#include "common/unique_fd.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>

namespace {

// The kernel reports a file's device in its own encoding: major in the top 12 bits.
bool same_file(const unix_diag_vfs& vfs, const struct stat& file) {
    return vfs.udiag_vfs_ino == file.st_ino && (vfs.udiag_vfs_dev >> 20) == major(file.st_dev) &&
           (vfs.udiag_vfs_dev & 0xfffff) == minor(file.st_dev);
}

// Whether one reply entry is a listener bound to `file`.
bool listens_on(const nlmsghdr* header, const struct stat& file) {
    const auto* message = static_cast<const unix_diag_msg*>(NLMSG_DATA(header));
    int length = static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof *message));
    for (const auto* attribute = reinterpret_cast<const rtattr*>(message + 1);
         RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        if (attribute->rta_type != UNIX_DIAG_VFS ||
            RTA_PAYLOAD(attribute) < sizeof(unix_diag_vfs))
            continue;
        unix_diag_vfs vfs;
        std::memcpy(&vfs, RTA_DATA(attribute), sizeof vfs);
        if (same_file(vfs, file))
            return true;
    }
    return false;
}

} // namespace

int socket_has_listener(const char* path) {
    struct stat file;
    if (stat(path, &file) != 0 || !S_ISSOCK(file.st_mode))
        return 0;

    UniqueFd diag(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (!diag)
        return -errno;
    struct {
        nlmsghdr header;
        unix_diag_req request;
    } query = {};
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    query.request.sdiag_family = AF_UNIX;
    query.request.udiag_states = 1u << TCP_LISTEN;
    query.request.udiag_show = UDIAG_SHOW_VFS;
    if (send(diag.get(), &query, sizeof query, 0) < 0)
        return -errno;

    alignas(nlmsghdr) char buffer[8192];
    bool found = false;
    for (;;) {
        ssize_t received = recv(diag.get(), buffer, sizeof buffer, 0);
        if (received < 0)
            return -errno;
        if (received == 0)
            return -EIO;
        int length = static_cast<int>(received);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, length);
             header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type == NLMSG_DONE)
                return found ? 1 : 0;
            if (header->nlmsg_type == NLMSG_ERROR) {
                const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
                return error->error < 0 ? error->error : -EIO;
            }
            if (header->nlmsg_type == SOCK_DIAG_BY_FAMILY && listens_on(header, file))
                found = true;
        }
    }
}
