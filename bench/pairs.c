/*
 * Times two commands in alternating pairs (A B, then B A, ...), so that drift
 * in the machine's load falls on both alike.
 *
 *   pairs PAIRS WARMUP -- A [ARG...] -- B [ARG...]
 *
 * Each run is timed from just before the spawn to just after the wait, with
 * CLOCK_MONOTONIC; standard input and output are the null device. Every run
 * must exit 0. Prints the median (and quartiles) of each command in
 * microseconds and the median of the per-pair ratios A/B, and one line
 * "result A_MEDIAN_US B_MEDIAN_US RATIO" for scripts.
 */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

static double now_us(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e6 + (double)t.tv_nsec / 1e3;
}

static double run_once(char **argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const double start = now_us();
    pid_t pid;
    int rc = posix_spawn(&pid, argv[0], &actions, NULL, argv, environ);
    if (rc != 0) {
        fprintf(stderr, "pairs: cannot start %s: %s\n", argv[0], strerror(rc));
        exit(1);
    }
    int status;
    while (waitpid(pid, &status, 0) < 0) {}
    const double elapsed = now_us() - start;
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "pairs: %s ended with status 0x%x\n", argv[0], status);
        exit(1);
    }
    return elapsed;
}

static int compare(const void *a, const void *b) {
    const double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

/* Sorts `values` in place and returns the value at fraction `q`. */
static double quantile(double *values, int n, double q) {
    qsort(values, (size_t)n, sizeof *values, compare);
    const double position = q * (n - 1);
    const int low = (int)position;
    const int high = low + 1 < n ? low + 1 : low;
    return values[low] + (values[high] - values[low]) * (position - low);
}

int main(int argc, char **argv) {
    if (argc < 6 || strcmp(argv[3], "--") != 0) {
        fprintf(stderr, "usage: pairs PAIRS WARMUP -- A [ARG...] -- B [ARG...]\n");
        return 2;
    }
    const int pairs = atoi(argv[1]);
    const int warmup = atoi(argv[2]);
    char **a = argv + 4;
    char **b = NULL;
    for (int i = 4; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            argv[i] = NULL;
            b = argv + i + 1;
            break;
        }
    }
    if (pairs < 1 || b == NULL || *b == NULL) {
        fprintf(stderr, "usage: pairs PAIRS WARMUP -- A [ARG...] -- B [ARG...]\n");
        return 2;
    }

    for (int i = 0; i < warmup; ++i) {
        run_once(a);
        run_once(b);
    }
    double *ta = malloc(sizeof(double) * (size_t)pairs);
    double *tb = malloc(sizeof(double) * (size_t)pairs);
    double *ratio = malloc(sizeof(double) * (size_t)pairs);
    for (int i = 0; i < pairs; ++i) {
        if (i % 2 == 0) {
            ta[i] = run_once(a);
            tb[i] = run_once(b);
        } else {
            tb[i] = run_once(b);
            ta[i] = run_once(a);
        }
        ratio[i] = ta[i] / tb[i];
    }
    const double r = quantile(ratio, pairs, 0.5);
    const double a25 = quantile(ta, pairs, 0.25), a50 = quantile(ta, pairs, 0.5),
                 a75 = quantile(ta, pairs, 0.75);
    const double b25 = quantile(tb, pairs, 0.25), b50 = quantile(tb, pairs, 0.5),
                 b75 = quantile(tb, pairs, 0.75);
    printf("A %-40.40s median %10.1f us  (quartiles %.1f .. %.1f)\n", a[0], a50, a25, a75);
    printf("B %-40.40s median %10.1f us  (quartiles %.1f .. %.1f)\n", b[0], b50, b25, b75);
    printf("median of %d per-pair ratios A/B: %.3f\n", pairs, r);
    printf("result %.1f %.1f %.3f\n", a50, b50, r);
    return 0;
}
