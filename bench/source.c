/*
 * Writes COUNT bytes of printable UTF-8 text to standard output: lines of
 * mostly ASCII words with some two-, three- and four-byte characters, the
 * kind of output a remote command gives. COUNT must be a multiple of 64 KiB.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { block_size = 1 << 16 };

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: source COUNT\n");
        return 2;
    }
    const long long count = atoll(argv[1]);
    if (count < 0 || count % block_size != 0) {
        fprintf(stderr, "source: COUNT must be a multiple of %d\n", block_size);
        return 2;
    }
    static const char *const words[] = {
        "container", "volume", "r\xC3\xA9seau", "deploy", "status", "\xE2\x82\xAC" "42",
        "running", "stopped", "caf\xC3\xA9", "log:", "\xF0\x9F\x90\xB3", "ok", "2024-05-01",
        "\xE6\x97\xA5\xE6\x9C\xAC", "service", "restart=always", "Z\xC3\xBCrich", "--", "|",
    };
    static char block[block_size];
    size_t used = 0;
    unsigned seed = 1;
    for (;;) {
        seed = seed * 1103515245u + 12345u;
        const char *word = words[(seed >> 16) % (sizeof words / sizeof *words)];
        const size_t length = strlen(word);
        if (used + length + 1 > block_size) break;
        memcpy(block + used, word, length);
        used += length;
        block[used++] = (seed >> 8) % 9 == 0 ? '\n' : ' ';
    }
    memset(block + used, 'x', block_size - used);
    block[block_size - 1] = '\n';

    for (long long written = 0; written < count; written += block_size) {
        size_t done = 0;
        while (done < block_size) {
            const ssize_t n = write(1, block + done, block_size - done);
            if (n <= 0) return 1;
            done += (size_t)n;
        }
    }
    return 0;
}
