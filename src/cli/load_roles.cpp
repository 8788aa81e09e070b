// Loads the roles library when -p or -s asks for it; the client never does.
#include "cli/load_roles.h"

#include "cli/roles.h"

#include <dlfcn.h>
#include <syslog.h>

#include <cstdio>

namespace {

using Role = int (*)();

// Returns the entry point, or nullptr with the loader's reason in dlerror().
Role find_role(const char* entry_point) {
    // Kept for the life of the process: "-p -s" prints, then runs the handler.
    static void* library = nullptr;
    if (!library)
        // Lazy binding: a role resolves only the functions it calls.
        library = dlopen(ROLES_LIBRARY, RTLD_LAZY | RTLD_LOCAL);
    return library ? reinterpret_cast<Role>(dlsym(library, entry_point)) : nullptr;
}

} // namespace

int run_library_role(const char* entry_point) {
    Role role = find_role(entry_point);
    if (!role) {
        fprintf(stderr, "<%d> Unable to load %s: %s\n", LOG_ERR, ROLES_LIBRARY, dlerror());
        return 1;
    }
    return role();
}
