// Loads the roles library when -p or -s asks for it; the client never does.
#include "cli/load_roles.h"

#include "cli/roles.h"

#include <dlfcn.h>
#include <syslog.h>

#include <cstdio>

// Relative to the executable ("$ORIGIN/..."), set by the build for the build tree or the
// install: beside the executable, or in the project's folder of the library directory.
#ifndef ROLES_LIBRARY_PATH
#error "ROLES_LIBRARY_PATH must name the roles library relative to the executable"
#endif

namespace {

using Role = int (*)();

// Lazy binding: a role resolves only the functions it calls. Deep binding: the library's
// symbols are looked up among the library and its dependencies before the executable and
// libc, in the order a program linked against them would use, so that binding the C++ run
// time's thousands of symbols costs what it cost when the program was linked to it. The
// AddressSanitizer run time must come first for every lookup, and refuses deep binding.
#ifdef __SANITIZE_ADDRESS__
constexpr int LOAD_FLAGS = RTLD_LAZY | RTLD_LOCAL;
#else
constexpr int LOAD_FLAGS = RTLD_LAZY | RTLD_LOCAL | RTLD_DEEPBIND;
#endif

// Returns the entry point, or nullptr with the loader's reason in dlerror().
Role find_role(const char* entry_point) {
    // Kept for the life of the process: "-p -s" prints, then runs the handler.
    static void* library = nullptr;
    if (!library)
        library = dlopen(ROLES_LIBRARY_PATH, LOAD_FLAGS);
    return library ? reinterpret_cast<Role>(dlsym(library, entry_point)) : nullptr;
}

} // namespace

int run_library_role(const char* entry_point) {
    Role role = find_role(entry_point);
    if (!role) {
        fprintf(stderr, "<%d> Unable to load the roles library: %s\n", LOG_ERR, dlerror());
        return 1;
    }
    return role();
}
