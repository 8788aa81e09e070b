// SPDX-License-Identifier: MIT
// Timing driver of the benchmarks: runs its jobs in turn, a run of each at a time so that a
// noisy moment of the machine hits them all alike, and prints per job the median wall time of
// a run and the median CPU time of the processes it started.
#define _GNU_SOURCE
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "process_memory.h"

static void usage(void) {
    fprintf(stderr,
            "usage: harness [--socket PATH] [--warmup N] RUNS JOB [-- JOB]...\n"
            "jobs:\n"
            "  run CMD...               a run starts CMD and ends when it exits\n"
            "  client CMD...            CMD connects to the socket and writes 4 bytes; the run\n"
            "                           ends when it exits (the connection is drained after)\n"
            "  startup LINE CMD...      CMD is passed the socket as systemd passes one (fd 3,\n"
            "                           LISTEN_FDS=1); the run ends at the first line of its\n"
            "                           stdout that starts with LINE, then CMD is sent SIGTERM\n"
            "                           and must exit 0 or die of it; the last run also prints\n"
            "                           CMD's memory at that moment\n"
            "  blocked SECONDS CMD...   as client, but CMD meets a full queue (backlog 0, one\n"
            "                           connection pending) for SECONDS before it is accepted\n"
            "  activate LINE CLIENT... + HANDLER...\n"
            "                           CLIENT as in client, then HANDLER as in startup, which\n"
            "                           must carry out what CLIENT sent and exit 0; the run is\n"
            "                           also timed in parts: the client, the handler up to its\n"
            "                           line, the rest of the handler\n"
            "Every command must exit 0 (or, when stopped, die of SIGTERM), or the harness\n"
            "fails. Times are in microseconds.\n");
    exit(2);
}

void die(const char* what) {
    perror(what);
    exit(1);
}

enum kind { RUN, CLIENT, STARTUP, ACTIVATE, BLOCKED };

struct job {
    enum kind kind;
    char** command;  // NULL-terminated, inside argv
    char** handler;  // ACTIVATE only
    const char* line; // STARTUP and ACTIVATE
    int seconds;      // BLOCKED
    double* wall;
    double* cpu;
    double* parts[3]; // ACTIVATE: client, handler up to its line, handler after it
    char memory[512];
};

static int listener = -1;

static double now_us(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

static double cpu_us(const struct rusage* usage) {
    return usage->ru_utime.tv_sec * 1e6 + usage->ru_utime.tv_usec +
           usage->ru_stime.tv_sec * 1e6 + usage->ru_stime.tv_usec;
}

static int devnull = -1;

// Starts `command` with stdout on `out` and, when `pass_socket`, the listening socket on fd 3
// as sd_listen_fds() expects it.
static pid_t start(char** command, int out, int pass_socket) {
    pid_t pid = fork();
    if (pid < 0)
        die("fork");
    if (pid > 0)
        return pid;
    if (dup2(out, STDOUT_FILENO) < 0)
        die("dup2");
    if (pass_socket) {
        if (listener < 0) {
            fprintf(stderr, "harness: this job needs --socket\n");
            _exit(1);
        }
        if (dup2(listener, 3) < 0)
            die("dup2");
        char pid_text[32];
        snprintf(pid_text, sizeof pid_text, "%d", (int)getpid());
        setenv("LISTEN_FDS", "1", 1);
        setenv("LISTEN_PID", pid_text, 1);
    }
    execvp(command[0], command);
    perror(command[0]);
    _exit(127);
}

// Waits for `pid`, requires exit status 0 and adds the CPU time of it and its waited-for
// children to `cpu`. When `stopped` (it was sent SIGTERM), death by that signal is accepted
// too: a program that handles the stop ends cleanly with 0, one that does not dies of it.
static void finish(pid_t pid, char** command, int stopped, double* cpu) {
    int status;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) < 0)
        die("wait4");
    int ok = (WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
             (stopped && WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    if (!ok) {
        fprintf(stderr, "harness: %s ended with status 0x%x\n", command[0], status);
        exit(1);
    }
    *cpu += cpu_us(&usage);
}

// Takes the connection a client left and checks that it carried a whole code.
static void drain(void) {
    int connection = accept(listener, NULL, NULL);
    if (connection < 0)
        die("accept");
    int32_t code;
    if (read(connection, &code, sizeof code) != (ssize_t)sizeof code) {
        fprintf(stderr, "harness: the client left no code\n");
        exit(1);
    }
    close(connection);
}

// Reads `fd` until a line starting with `prefix` has arrived.
static void await_line(int fd, const char* prefix) {
    char buffer[4096];
    size_t used = 0;
    for (;;) {
        ssize_t n = read(fd, buffer + used, sizeof buffer - 1 - used);
        if (n <= 0) {
            fprintf(stderr, "harness: output ended before a line starting with %s\n", prefix);
            exit(1);
        }
        used += (size_t)n;
        buffer[used] = '\0';
        for (char* line = buffer; line; line = strchr(line, '\n')) {
            line += *line == '\n';
            if (strncmp(line, prefix, strlen(prefix)) == 0)
                return;
        }
        if (used == sizeof buffer - 1)
            used = 0;
    }
}

// Runs the handler of a startup or activate job until its first line starting with `line`,
// then stops it with SIGTERM or, with `to_exit`, lets it run to its end. Returns the time of
// the line, having added the handler's CPU time to `cpu`.
static double run_handler(char** command, const char* line, int to_exit, char* memory,
                          size_t size, double* cpu) {
    int out[2];
    if (pipe(out) != 0)
        die("pipe");
    pid_t pid = start(command, out[1], 1);
    close(out[1]);
    await_line(out[0], line);
    double at_line = now_us();
    if (memory)
        read_process_memory(pid, memory, size);
    if (to_exit) {
        char rest[4096];
        while (read(out[0], rest, sizeof rest) > 0)
            continue;
    } else {
        kill(pid, SIGTERM);
    }
    close(out[0]);
    finish(pid, command, !to_exit, cpu);
    return at_line;
}

// Keeps `command`, a client, facing a full queue for `seconds`, then lets it through; adds its
// CPU time to `cpu`. The listener's backlog goes down to 0 and one connection of our own fills
// it, as when a handler that created its own socket is busy.
static void run_blocked(char** command, int seconds, double* cpu) {
    struct sockaddr_un address;
    socklen_t length = sizeof address;
    if (getsockname(listener, (struct sockaddr*)&address, &length) != 0 || listen(listener, 0) != 0)
        die("listen");
    int filler = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (filler < 0 || connect(filler, (struct sockaddr*)&address, length) != 0)
        die("connect");
    pid_t pid = start(command, devnull, 0);
    sleep((unsigned)seconds);
    int queued = accept(listener, NULL, NULL);
    if (queued < 0)
        die("accept");
    close(queued);
    close(filler);
    drain();
    finish(pid, command, 0, cpu);
    if (listen(listener, SOMAXCONN) != 0)
        die("listen");
}

static void run_once(struct job* job, int index, int last) {
    double cpu = 0, client_end = 0, at_line = 0;
    double begin = now_us();
    switch (job->kind) {
    case RUN:
    case CLIENT:
        finish(start(job->command, devnull, 0), job->command, 0, &cpu);
        break;
    case STARTUP:
        run_handler(job->command, job->line, 0, last ? job->memory : NULL, sizeof job->memory,
                    &cpu);
        break;
    case BLOCKED:
        run_blocked(job->command, job->seconds, &cpu);
        break;
    case ACTIVATE:
        finish(start(job->command, devnull, 0), job->command, 0, &cpu);
        client_end = now_us();
        at_line = run_handler(job->handler, job->line, 1, NULL, 0, &cpu);
        break;
    }
    double end = now_us();
    double wall = end - begin;
    if (job->kind == CLIENT)
        drain();
    if (index >= 0) {
        job->wall[index] = wall;
        job->cpu[index] = cpu;
        if (job->kind == ACTIVATE) {
            job->parts[0][index] = client_end - begin;
            job->parts[1][index] = at_line - client_end;
            job->parts[2][index] = end - at_line;
        }
    }
}

static int compare(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double median(double* values, int count) {
    qsort(values, (size_t)count, sizeof *values, compare);
    return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

static void listen_on(const char* path) {
    struct sockaddr_un address = {.sun_family = AF_UNIX};
    if (strlen(path) >= sizeof address.sun_path) {
        fprintf(stderr, "harness: socket path too long\n");
        exit(2);
    }
    strcpy(address.sun_path, path);
    unlink(path);
    listener = socket(AF_UNIX, SOCK_STREAM, 0);
    if (listener < 0 || bind(listener, (struct sockaddr*)&address, sizeof address) != 0 ||
        listen(listener, SOMAXCONN) != 0)
        die(path);
}

int main(int argc, char* argv[]) {
    if ((devnull = open("/dev/null", O_WRONLY | O_CLOEXEC)) < 0)
        die("/dev/null");
    int arg = 1, warmup = 3;
    for (; arg + 1 < argc && argv[arg][0] == '-' && argv[arg][1] == '-'; arg += 2) {
        if (strcmp(argv[arg], "--socket") == 0)
            listen_on(argv[arg + 1]);
        else if (strcmp(argv[arg], "--warmup") == 0)
            warmup = atoi(argv[arg + 1]);
        else
            usage();
    }
    if (arg + 2 >= argc)
        usage();
    int runs = atoi(argv[arg++]);
    if (runs <= 0)
        usage();

    struct job jobs[8];
    int count = 0;
    while (arg < argc) {
        if (count == 8)
            usage();
        struct job* job = &jobs[count++];
        memset(job, 0, sizeof *job);
        const char* kind = argv[arg++];
        job->kind = strcmp(kind, "run") == 0       ? RUN
                    : strcmp(kind, "client") == 0  ? CLIENT
                    : strcmp(kind, "startup") == 0 ? STARTUP
                    : strcmp(kind, "activate") == 0 ? ACTIVATE
                    : strcmp(kind, "blocked") == 0  ? BLOCKED
                                                    : (usage(), RUN);
        if (job->kind == STARTUP || job->kind == ACTIVATE) {
            if (arg >= argc)
                usage();
            job->line = argv[arg++];
        }
        if (job->kind == BLOCKED) {
            if (arg >= argc || (job->seconds = atoi(argv[arg++])) <= 0)
                usage();
        }
        job->command = &argv[arg];
        for (; arg < argc && strcmp(argv[arg], "--") != 0; arg++) {
            if (job->kind == ACTIVATE && strcmp(argv[arg], "+") == 0) {
                argv[arg] = NULL;
                job->handler = &argv[arg + 1];
            }
        }
        if (arg < argc)
            argv[arg++] = NULL;
        if (!job->command[0] || (job->kind == ACTIVATE && (!job->handler || !job->handler[0])))
            usage();
        job->wall = calloc((size_t)runs, sizeof(double));
        job->cpu = calloc((size_t)runs, sizeof(double));
        if (!job->wall || !job->cpu)
            die("calloc");
        for (int part = 0; part < 3; part++)
            if (!(job->parts[part] = calloc((size_t)runs, sizeof(double))))
                die("calloc");
    }

    for (int i = 0; i < warmup; i++)
        for (int j = 0; j < count; j++)
            run_once(&jobs[j], -1, 0);
    for (int i = 0; i < runs; i++)
        for (int j = 0; j < count; j++)
            run_once(&jobs[j], i, i == runs - 1);

    for (int j = 0; j < count; j++) {
        printf("median_us=%.0f cpu_us=%.0f%s", median(jobs[j].wall, runs),
               median(jobs[j].cpu, runs), jobs[j].memory);
        if (jobs[j].kind == ACTIVATE)
            printf(" client_us=%.0f startup_us=%.0f action_us=%.0f",
                   median(jobs[j].parts[0], runs), median(jobs[j].parts[1], runs),
                   median(jobs[j].parts[2], runs));
        printf("\n");
    }
    return 0;
}
