/* Real disk faults for acctmap.exe under Wine, for the tests.
 *
 * Preloaded into the Wine process that runs the program: Wine 8 writes and
 * fsyncs a Windows file's Unix descriptor in that process, not in
 * wineserver.
 *   LD_PRELOAD='<bindir>/faults/$LIB/libacctmapfaults.so'
 * ld.so expands $LIB to lib/x86_64-linux-gnu or lib/i386-linux-gnu, so the
 * one setting serves both loaders. Settings:
 *   ACCTMAP_FAULT_FILE=<text>       only files whose Unix path contains it
 *   ACCTMAP_FAULT_FULL_AFTER=<n>    disk full after n bytes (ENOSPC)
 *   ACCTMAP_FAULT_KILL_AFTER=<n>    write up to byte n, then SIGKILL
 *   ACCTMAP_FAULT_FLUSH=<errno>     fsync fails with it
 * Bytes are counted over all such files of the process.
 *
 * A Wine process starts its Windows children with its own Unix environment,
 * not with the block given to CreateProcess. A harness under Wine therefore
 * runs preloaded itself with ACCTMAP_FAULT_CONTROL=<unix file>: the settings
 * are then read from that file, as KEY=VALUE lines, at each write or flush
 * of a regular file; no file, no faults. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

struct faults {
    char text[1024];
    size_t len;
};

static long long written;

#define REAL(name) \
    static __typeof__(name) *real_##name; \
    if (!real_##name) real_##name = (__typeof__(name) *)dlsym(RTLD_NEXT, #name)

static const char *get(const struct faults *f, const char *name)
{
    size_t n = strlen(name);
    const char *line;

    if (!getenv("ACCTMAP_FAULT_CONTROL")) return getenv(name);
    for (line = f->text; line < f->text + f->len; line += strlen(line) + 1)
        if (!strncmp(line, name, n) && line[n] == '=') return line + n + 1;
    return NULL;
}

static long long number(const struct faults *f, const char *name)
{
    const char *v = get(f, name);

    return v && *v ? atoll(v) : -1;
}

/* Whether fd is a file that faults are meant for; f then holds the
 * settings. */
static int targeted(int fd, struct faults *f)
{
    const char *control = getenv("ACCTMAP_FAULT_CONTROL"), *want;
    char link[64], path[PATH_MAX];
    struct stat st;
    ssize_t len;
    int cf;

    if (fstat(fd, &st) || !S_ISREG(st.st_mode)) return 0;
    f->len = 0;
    if (control) {
        if ((cf = open(control, O_RDONLY | O_CLOEXEC)) < 0) return 0;
        len = read(cf, f->text, sizeof f->text - 1);
        close(cf);
        if (len <= 0) return 0;
        f->len = (size_t)len;
        f->text[len] = 0;
        for (size_t i = 0; i < f->len; i++)
            if (f->text[i] == '\n' || f->text[i] == '\r') f->text[i] = 0;
    }
    want = get(f, "ACCTMAP_FAULT_FILE");
    if (!want || !*want) return 0;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    len = readlink(link, path, sizeof path - 1);
    if (len < 0) return 0;
    path[len] = 0;
    return strstr(path, want) != NULL;
}

/* The real call: write() where off is -1, as Wine does without an offset. */
static ssize_t put(int fd, const void *buf, size_t n, off64_t off)
{
    REAL(write);
    REAL(pwrite64);
    return off < 0 ? real_write(fd, buf, n) : real_pwrite64(fd, buf, n, off);
}

/* A write of n bytes to a targeted file: a crash point writes its part and
 * dies; a full disk takes what is left of it, as a short count, then
 * refuses. */
static ssize_t faulty(int fd, const void *buf, size_t n, off64_t off)
{
    struct faults f;
    long long full, crash;
    ssize_t r;

    if (!targeted(fd, &f)) return put(fd, buf, n, off);
    full = number(&f, "ACCTMAP_FAULT_FULL_AFTER");
    crash = number(&f, "ACCTMAP_FAULT_KILL_AFTER");
    if (crash >= 0 && written + (long long)n > crash) {
        while (written < crash && (r = put(fd, buf, (size_t)(crash - written), off)) > 0) {
            buf = (const char *)buf + r;
            off += off < 0 ? 0 : r;
            written += r;
        }
        kill(getpid(), SIGKILL);
    }
    if (full >= 0 && written + (long long)n > full) {
        if (written >= full) {
            errno = ENOSPC;
            return -1;
        }
        n = (size_t)(full - written);
    }
    r = put(fd, buf, n, off);
    if (r > 0) written += r;
    return r;
}

ssize_t write(int fd, const void *buf, size_t n)
{
    return faulty(fd, buf, n, -1);
}

ssize_t pwrite(int fd, const void *buf, size_t n, off_t off)
{
    return faulty(fd, buf, n, off);
}

ssize_t pwrite64(int fd, const void *buf, size_t n, off64_t off)
{
    return faulty(fd, buf, n, off);
}

int fsync(int fd)
{
    struct faults f;
    long long err;
    REAL(fsync);

    if (targeted(fd, &f) && (err = number(&f, "ACCTMAP_FAULT_FLUSH")) > 0) {
        errno = (int)err;
        return -1;
    }
    return real_fsync(fd);
}
