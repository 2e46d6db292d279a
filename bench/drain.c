/*
 * The least any capture of a child's output into memory costs:
 *
 *   drain SIZE PROGRAM [ARG...]
 *
 * starts PROGRAM with its standard output on a pipe and reads it into one
 * mapping reserved up front (asked for huge pages), never copied, never
 * checked. Exits 0 when exactly SIZE bytes arrived. Beside `cat`, which keeps
 * reading into the same cached buffer, it shows what fresh memory for the
 * output costs by itself on this machine.
 */
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: drain SIZE PROGRAM [ARG...]\n");
        return 2;
    }
    const size_t expected = strtoull(argv[1], NULL, 10);
    int fds[2];
    if (pipe(fds) != 0) return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid;
    if (posix_spawnp(&pid, argv[2], &actions, NULL, argv + 2, environ) != 0) return 1;
    close(fds[1]);

    const size_t room = expected + (1 << 16);
    char *buffer = mmap(NULL, room, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (buffer == MAP_FAILED) return 1;
    madvise(buffer, room, MADV_HUGEPAGE);
    size_t used = 0;
    ssize_t n;
    while (used < room && (n = read(fds[0], buffer + used, room - used)) > 0) used += (size_t)n;
    int status;
    waitpid(pid, &status, 0);
    return used == expected ? 0 : 1;
}
