#!/usr/bin/env bash
# What fresh memory and program starts cost on this machine: the floor under
# a whole run of a small pair, whose five programs spend most of their time
# being started. Prints the time to touch 8 MiB of fresh memory a 4 KiB page
# at a time, the same with the pages asked for in one call, and as huge
# pages; then, for /bin/true and each of our programs started with
# --version 21 times, the median wall and processor time and page faults.
#
#   bench/whole_run/page_faults.sh BUILD
set -euo pipefail
[ $# -eq 1 ] || { sed -n '2,9p' "$0" >&2; exit 2; }
bin="$(cd "$1" && pwd)/bin"
command -v cc >/dev/null || { echo "missing: cc" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat >"$work/costs.c" <<'C'
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
static double ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
static const size_t kHuge = 2u << 20;
/* On a 2 MiB boundary, so that huge pages can back all of it; the mapping
   is size + kHuge long from *base. */
static char* region(size_t size, int advice, char** base) {
    *base = mmap(0, size + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (*base == MAP_FAILED) exit(1);
    char* p = (char*)(((uintptr_t)*base + kHuge - 1) & ~(uintptr_t)(kHuge - 1));
    madvise(p, size, advice);
    return p;
}
static int byValue(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}
#define RUNS 21
int main(int argc, char** argv) {
    const size_t size = 8u << 20;
    for (int round = 0; round < 3; ++round) {
        char *baseA, *baseB, *baseC;
        char* a = region(size, MADV_NOHUGEPAGE, &baseA);
        char* b = region(size, MADV_NOHUGEPAGE, &baseB);
        char* c = region(size, MADV_HUGEPAGE, &baseC);
        const double t0 = ms();
        for (size_t i = 0; i < size; i += 4096) a[i] = 1;
        const double t1 = ms();
        const int asked = madvise(b, size, MADV_POPULATE_WRITE) == 0;
        for (size_t i = 0; i < size; i += 4096) b[i] = 1;
        const double t2 = ms();
        for (size_t i = 0; i < size; i += 4096) c[i] = 1;
        const double t3 = ms();
        printf("8 MiB of fresh memory: 4 KiB pages %.2f ms (%.1f us a page), asked for in one "
               "call %s%.2f ms, huge pages %.2f ms\n",
               t1 - t0, (t1 - t0) * 1000 / (size / 4096), asked ? "" : "(not here) ", t2 - t1,
               t3 - t2);
        /* Gone before the programs start: a fork copies what is mapped. */
        munmap(baseA, size + kHuge);
        munmap(baseB, size + kHuge);
        munmap(baseC, size + kHuge);
    }
    fflush(stdout);
    for (int k = 1; k < argc; ++k) {
        double wall[RUNS], cpu[RUNS], faults[RUNS];
        for (int r = 0; r < RUNS; ++r) {
            const double t0 = ms();
            const pid_t pid = fork();
            if (pid == 0) {
                const int null = open("/dev/null", O_WRONLY);
                dup2(null, 1);
                execl(argv[k], argv[k], "--version", (char*)0);
                _exit(127);
            }
            int status = 0;
            struct rusage u;
            wait4(pid, &status, 0, &u);
            wall[r] = ms() - t0;
            cpu[r] = (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
                     (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
            faults[r] = (double)u.ru_minflt;
        }
        qsort(wall, RUNS, sizeof wall[0], byValue);
        qsort(cpu, RUNS, sizeof cpu[0], byValue);
        qsort(faults, RUNS, sizeof faults[0], byValue);
        const char* name = strrchr(argv[k], '/') ? strrchr(argv[k], '/') + 1 : argv[k];
        printf("%-12s started: %6.2f ms wall, %6.2f ms processor, %5.0f page faults\n", name,
               wall[RUNS / 2], cpu[RUNS / 2], faults[RUNS / 2]);
        fflush(stdout);
    }
    return 0;
}
C
cc -O2 -o "$work/costs" "$work/costs.c"
"$work/costs" /bin/true "$bin/sandrel" "$bin/tolvane" "$bin/mervik-cli"
