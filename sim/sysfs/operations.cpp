// SPDX-License-Identifier: MIT
// Path-based FUSE callbacks. Nothing is cached by the kernel: attributes are opened for direct
// I/O and no lookup outlives its request, so every write(2) reaches tree_write() with its own
// bytes and returns its errno, and a device link vanishes the moment its device is unbound.
#include "operations.h"

#include "write_log.h"

#include <fuse_lowlevel.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

SimState& state() {
    return *static_cast<SimState*>(fuse_get_context()->private_data);
}

bool is_attribute(NodeKind kind) {
    return kind == NodeKind::GpioValue || kind == NodeKind::BindAttribute ||
           kind == NodeKind::UnbindAttribute;
}

// Holds the request, and with it the whole tree, until the simulator is told to end, or for
// 30 seconds, longer than the handler waits for a write; the write is then not made.
int hang() {
    fuse_session* session = fuse_get_session(fuse_get_context()->fuse);
    for (int waited_ms = 0; waited_ms < 30'000 && !fuse_session_exited(session); waited_ms += 10)
        usleep(10'000);
    return -EINTR;
}

void* sim_init(fuse_conn_info*, fuse_config* config) {
    config->entry_timeout = 0;
    config->negative_timeout = 0;
    config->attr_timeout = 0;
    config->direct_io = 1;
    return fuse_get_context()->private_data;
}

int sim_getattr(const char* path, struct stat* st, fuse_file_info*) {
    Node node = tree_lookup(state().tree, path);
    *st = {};
    st->st_atim = st->st_mtim = st->st_ctim = state().started;
    st->st_nlink = 1;
    switch (node.kind) {
    case NodeKind::Missing:
        return -ENOENT;
    case NodeKind::Directory:
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    case NodeKind::GpioValue:
        st->st_mode = S_IFREG | 0644;
        st->st_size = 4096; // what sysfs reports for any attribute
        return 0;
    case NodeKind::BindAttribute:
    case NodeKind::UnbindAttribute:
        st->st_mode = S_IFREG | 0200;
        st->st_size = 4096;
        return 0;
    case NodeKind::DeviceLink:
        st->st_mode = S_IFLNK | 0777;
        st->st_size = static_cast<off_t>(node.link_target.size());
        return 0;
    }
    return -ENOENT;
}

int sim_readlink(const char* path, char* buffer, size_t size) {
    Node node = tree_lookup(state().tree, path);
    if (node.kind != NodeKind::DeviceLink)
        return node.kind == NodeKind::Missing ? -ENOENT : -EINVAL;
    if (size == 0)
        return -EINVAL;
    size_t length = std::min(node.link_target.size(), size - 1);
    std::memcpy(buffer, node.link_target.data(), length);
    buffer[length] = '\0';
    return 0;
}

int sim_readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                fuse_readdir_flags) {
    if (tree_lookup(state().tree, path).kind != NodeKind::Directory)
        return -ENOTDIR;
    fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags{});
    fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags{});
    for (const std::string& name : tree_list(state().tree, path))
        fill(buffer, name.c_str(), nullptr, 0, fuse_fill_dir_flags{});
    return 0;
}

int sim_open(const char* path, fuse_file_info* info) {
    NodeKind kind = tree_lookup(state().tree, path).kind;
    if (kind == NodeKind::Missing)
        return -ENOENT;
    if (!is_attribute(kind))
        return -EISDIR;
    // bind and unbind have no read side; the kernel refuses to open them for reading even
    // to root.
    bool reads = (info->flags & O_ACCMODE) != O_WRONLY;
    if (reads && kind != NodeKind::GpioValue)
        return -EACCES;
    info->direct_io = 1;
    return 0;
}

int sim_read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*) {
    std::string content;
    if (int result = tree_read(state().tree, path, content); result < 0)
        return result;
    if (offset < 0 || static_cast<size_t>(offset) >= content.size())
        return 0;
    size_t length = std::min(size, content.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, content.data() + offset, length);
    return static_cast<int>(length);
}

// The offset is ignored: like a sysfs store, every write(2) is a whole new value.
int sim_write(const char* path, const char* buffer, size_t size, off_t, fuse_file_info*) {
    std::string_view data(buffer, size);
    if (state().tree.hanging_writes.contains(path)) {
        append_line(state().log.get(), "sysfs: " + std::string("/sys") + path + " hangs\n");
        return hang();
    }
    int result = tree_write(state().tree, path, data);
    // A lost log line has nobody to be told to: stderr is /dev/null once in the background.
    append_line(state().log.get(), format_write_line(std::string("/sys") + path, data, result));
    return result < 0 ? result : static_cast<int>(size);
}

// Accepted so that the shell's `>` (O_TRUNC) and ftruncate() work as on sysfs.
int sim_truncate(const char* path, off_t, fuse_file_info*) {
    NodeKind kind = tree_lookup(state().tree, path).kind;
    if (kind == NodeKind::Missing)
        return -ENOENT;
    return is_attribute(kind) ? 0 : -EISDIR;
}

int sim_fsync(const char*, int, fuse_file_info*) {
    return 0;
}

// The kernel's answers where sysfs has no such operation.
int refuse_create(const char*, mode_t, fuse_file_info*) {
    return -EACCES;
}
int refuse_mknod(const char*, mode_t, dev_t) {
    return -EACCES;
}
int refuse_mkdir(const char*, mode_t) {
    return -EPERM;
}
int refuse_remove(const char*) {
    return -EPERM;
}
int refuse_pair(const char*, const char*) {
    return -EPERM;
}
int refuse_rename(const char*, const char*, unsigned int) {
    return -EPERM;
}

fuse_operations make_operations() {
    fuse_operations operations{};
    operations.init = sim_init;
    operations.getattr = sim_getattr;
    operations.readlink = sim_readlink;
    operations.readdir = sim_readdir;
    operations.open = sim_open;
    operations.read = sim_read;
    operations.write = sim_write;
    operations.truncate = sim_truncate;
    operations.fsync = sim_fsync;
    operations.create = refuse_create;
    operations.mknod = refuse_mknod;
    operations.mkdir = refuse_mkdir;
    operations.unlink = refuse_remove;
    operations.rmdir = refuse_remove;
    operations.symlink = refuse_pair;
    operations.link = refuse_pair;
    operations.rename = refuse_rename;
    return operations;
}

} // namespace

const fuse_operations& sysfs_operations() {
    static const fuse_operations operations = make_operations();
    return operations;
}
