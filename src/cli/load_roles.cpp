// SPDX-License-Identifier: MIT
// Loads the roles library when -p or -s asks for it; the client never does.
#include "cli/load_roles.h"

#include "cli/roles.h"

#include <dlfcn.h>
#include <limits.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// Relative to the directory of the executable, set by the build for the build tree (beside
// the executable) or for the install (the project's folder of the library directory).
#ifndef ROLES_LIBRARY_FROM_EXECUTABLE
#error "ROLES_LIBRARY_FROM_EXECUTABLE must name the roles library relative to the executable"
#endif

namespace {

// Lazy binding: a role resolves only the functions it calls. Deep binding: the library's
// symbols are looked up among the library and its dependencies before the executable and
// libc, in the order a program linked against them would use, so that binding the C++ run
// time's thousands of symbols costs what it cost when the program was linked to it. Deep
// binding is glibc's own: with another C library (musl) the roles load in the usual order,
// which costs start-up time only. The AddressSanitizer run time must come first for every
// lookup, and refuses deep binding.
#if defined(RTLD_DEEPBIND) && !defined(__SANITIZE_ADDRESS__)
constexpr int LOAD_FLAGS = RTLD_LAZY | RTLD_LOCAL | RTLD_DEEPBIND;
#else
constexpr int LOAD_FLAGS = RTLD_LAZY | RTLD_LOCAL;
#endif

// Writes the library's path into `path`: the executable's own directory, as the kernel
// recorded it at exec, then the build's relative path. Returns false with errno set.
bool library_path(char (&path)[PATH_MAX]) {
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length < 0)
        return false;
    path[length] = '\0';
    char* slash = strrchr(path, '/');
    size_t directory = slash ? static_cast<size_t>(slash - path) + 1 : 0;
    if (directory + strlen(ROLES_LIBRARY_FROM_EXECUTABLE) >= sizeof path) {
        errno = ENAMETOOLONG;
        return false;
    }
    strcpy(path + directory, ROLES_LIBRARY_FROM_EXECUTABLE);
    return true;
}

// Returns the entry point, or nullptr with the reason in `reason`.
void* find_role(const char* entry_point, const char*& reason) {
    // Kept for the life of the process: "-p -s" prints, then runs the handler.
    static void* library = nullptr;
    if (!library) {
        char path[PATH_MAX];
        if (!library_path(path)) {
            reason = strerror(errno);
            return nullptr;
        }
        library = dlopen(path, LOAD_FLAGS);
    }
    void* role = library ? dlsym(library, entry_point) : nullptr;
    if (!role)
        reason = dlerror();
    return role;
}

} // namespace

void* find_library_role(const char* name) {
    const char* reason = nullptr;
    void* role = find_role(name, reason);
    if (!role)
        fprintf(stderr, "<%d> Unable to load the roles library: %s\n", LOG_ERR, reason);
    return role;
}
