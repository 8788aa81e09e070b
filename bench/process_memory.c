// SPDX-License-Identifier: MIT
// What a running process holds in memory, from /proc: the benchmarks' measure of the handler
// at the end of its start-up.
#include <stdio.h>
#include <string.h>

#include "process_memory.h"

// Memory of a process: the peak resident set, and the present one split between the shared
// libraries' mappings and everything else (the program's own file, heap, stack, anonymous
// memory); what is private to the process; and its proportional share (pages shared with
// other processes, such as the bus daemon mapping the same libraries, count in part).
void read_process_memory(pid_t pid, char* out, size_t size) {
    char path[64];
    char text[256];
    long hwm = -1, libs = 0, own = 0, private_kb = 0, pss = 0;
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* status = fopen(path, "r");
    if (!status)
        die(path);
    while (fgets(text, sizeof text, status))
        sscanf(text, "VmHWM: %ld", &hwm);
    fclose(status);

    snprintf(path, sizeof path, "/proc/%d/smaps", (int)pid);
    FILE* smaps = fopen(path, "r");
    if (!smaps)
        die(path);
    int library = 0;
    while (fgets(text, sizeof text, smaps)) {
        long kb;
        char name[200] = "";
        unsigned long start, end;
        // Only a mapping's header line starts with "START-END".
        if (sscanf(text, "%lx-%lx %*s %*s %*s %*s %199s", &start, &end, name) >= 2) {
            library = strstr(name, ".so") != NULL;
        } else if (sscanf(text, "Rss: %ld", &kb) == 1) {
            *(library ? &libs : &own) += kb;
        } else if (sscanf(text, "Pss: %ld", &kb) == 1) {
            pss += kb;
        } else if (sscanf(text, "Private_Clean: %ld", &kb) == 1 ||
                   sscanf(text, "Private_Dirty: %ld", &kb) == 1) {
            private_kb += kb;
        }
    }
    fclose(smaps);
    snprintf(out, size, " hwm_kb=%ld libs_kb=%ld own_kb=%ld private_kb=%ld pss_kb=%ld", hwm,
             libs, own, private_kb, pss);
}
