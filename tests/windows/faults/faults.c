/* Real disk faults for acctmap.exe under Wine, for the tests. Preloaded into
 * Wine's processes (Wine 8 writes and fsyncs a file's Unix descriptor in the
 * program's own process):
 *   LD_PRELOAD='<bindir>/faults/$LIB/libacctmapfaults.so'
 * ld.so's $LIB picks the library of the loader's width. A Wine program starts
 * its children with its own Unix environment, so the faults come from the
 * file ACCTMAP_FAULT_CONTROL names, read at each write or flush, one
 * KEY=VALUE a line (no file, no faults):
 *   ACCTMAP_FAULT_FILE=<text>       only files whose Unix path holds it
 *   ACCTMAP_FAULT_FULL_AFTER=<n>    a full disk after n bytes (ENOSPC)
 *   ACCTMAP_FAULT_KILL_AFTER=<n>    write up to byte n, then SIGKILL
 *   ACCTMAP_FAULT_FLUSH=<errno>     fsync fails with it
 *   ACCTMAP_FAULT_RENAME=<n>        the first n renames from such a file fail
 *                                   with EACCES
 *   ACCTMAP_FAULT_RENAME_UNLINK=1   each removes the target first, as a
 *                                   server that replaces by delete and rename
 * Bytes are counted over all such files of the process. Wine renames in its
 * server, which is preloaded too; the failed renames are counted in the
 * file <control file>.renames, one byte each. */
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

static long long written;

/* The settings, when the file at `path` is one they are meant for; else
 * NULL. */
static const char *targeted_path(const char *path, char *settings, size_t size)
{
    const char *control = getenv("ACCTMAP_FAULT_CONTROL"), *want;
    ssize_t len;
    int file;

    if (!control || (file = open(control, O_RDONLY | O_CLOEXEC)) < 0) return NULL;
    len = read(file, settings + 1, size - 2);
    close(file);
    if (len <= 0) return NULL;
    settings[0] = '\n';
    settings[len + 1] = 0;
    if (!(want = strstr(settings, "\nACCTMAP_FAULT_FILE="))) return NULL;
    want += strlen("\nACCTMAP_FAULT_FILE=");
    return strncmp(want, "\n", 1) && strstr(path, strndupa(want, strcspn(want, "\r\n")))
               ? settings
               : NULL;
}

/* The same for a file descriptor, a regular file's. */
static const char *targeted(int fd, char *settings, size_t size)
{
    char link[64], path[PATH_MAX];
    struct stat st;
    ssize_t len;

    if (fstat(fd, &st) || !S_ISREG(st.st_mode)) return NULL;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    if ((len = readlink(link, path, sizeof path - 1)) < 0) return NULL;
    path[len] = 0;
    return targeted_path(path, settings, size);
}

/* A setting's number, or -1. */
static long long number(const char *settings, const char *name)
{
    const char *at = strstr(settings, name);
    return at ? atoll(at + strlen(name)) : -1;
}

/* The real call: write() where off is -1, as Wine does without an offset. */
static ssize_t put(int fd, const void *buf, size_t n, off64_t off)
{
    static ssize_t (*real_write)(int, const void *, size_t);
    static ssize_t (*real_pwrite64)(int, const void *, size_t, off64_t);
    if (!real_write) real_write = dlsym(RTLD_NEXT, "write");
    if (!real_pwrite64) real_pwrite64 = dlsym(RTLD_NEXT, "pwrite64");
    return off < 0 ? real_write(fd, buf, n) : real_pwrite64(fd, buf, n, off);
}

/* A write of n bytes to a targeted file: a crash point writes its part and
 * dies; a full disk takes what is left of it, as a short count, then
 * refuses. */
static ssize_t faulty(int fd, const void *buf, size_t n, off64_t off)
{
    char settings[1024];
    const char *s = targeted(fd, settings, sizeof settings);
    long long full = s ? number(s, "\nACCTMAP_FAULT_FULL_AFTER=") : -1;
    long long crash = s ? number(s, "\nACCTMAP_FAULT_KILL_AFTER=") : -1;
    ssize_t r;

    if (!s) return put(fd, buf, n, off);
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
    static int (*real_fsync)(int);
    char settings[1024];
    const char *s = targeted(fd, settings, sizeof settings);
    long long error = s ? number(s, "\nACCTMAP_FAULT_FLUSH=") : -1;

    if (!real_fsync) real_fsync = dlsym(RTLD_NEXT, "fsync");
    if (error > 0) {
        errno = (int)error;
        return -1;
    }
    return real_fsync(fd);
}

int rename(const char *from, const char *to)
{
    static int (*real_rename)(const char *, const char *);
    char settings[1024], count[PATH_MAX];
    const char *s = targeted_path(from, settings, sizeof settings);
    long long times = s ? number(s, "\nACCTMAP_FAULT_RENAME=") : -1;
    struct stat st;
    int file;

    if (!real_rename) real_rename = dlsym(RTLD_NEXT, "rename");
    snprintf(count, sizeof count, "%s.renames", getenv("ACCTMAP_FAULT_CONTROL"));
    if (times > 0 && (stat(count, &st) || st.st_size < times) &&
        (file = open(count, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600)) >= 0) {
        if (put(file, "x", 1, -1) == 1 && number(s, "\nACCTMAP_FAULT_RENAME_UNLINK=") == 1)
            unlink(to);
        close(file);
        errno = EACCES;
        return -1;
    }
    return real_rename(from, to);
}
