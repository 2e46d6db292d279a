/*
 * The least a `shell` start needs: the user name from the first line of the
 * credentials file, the key lookup, then ssh started with the client's
 * argument list and the broken-pipe signal at its default. Exits with ssh's
 * status (128 + signal when a signal ended it). The yardstick for the
 * client's own start-up cost.
 */
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

int main(void) {
    const char *home = getenv("HOME");
    if (home == NULL || *home == '\0') return 101;

    char path[4096];
    snprintf(path, sizeof path, "%s/.tarn-hosting/tarn-hosting.conf", home);
    FILE *file = fopen(path, "r");
    if (file == NULL) return 101;
    char user[1024];
    if (fgets(user, sizeof user, file) == NULL) return 101;
    fclose(file);
    char *begin = user;
    while (*begin == ' ' || (*begin >= '\t' && *begin <= '\r')) ++begin;
    char *end = begin + strlen(begin);
    while (end > begin && (end[-1] == ' ' || (end[-1] >= '\t' && end[-1] <= '\r'))) --end;
    *end = '\0';

    char key[4096];
    struct stat status;
    snprintf(key, sizeof key, "%s/.ssh/tarn-hosting-eastmere", home);
    if (stat(key, &status) != 0) {
        snprintf(key, sizeof key, "%s/.not-ssh/tarn-hosting-eastmere", home);
        if (stat(key, &status) != 0) return 1;
    }

    char target[1200];
    snprintf(target, sizeof target, "%s@eastmere.tarn-hosting.net", begin);
    char *argv[] = {"ssh", "-q", "-t", "-i", key, "-p", "20022", target, NULL};

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    pid_t pid;
    if (posix_spawnp(&pid, "ssh", NULL, &attributes, argv, environ) != 0) return 101;
    int wstatus;
    if (waitpid(pid, &wstatus, 0) < 0) return 128;
    if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) return 128 + WTERMSIG(wstatus);
    return 128;
}
