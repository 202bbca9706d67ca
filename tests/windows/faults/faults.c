/* Real disk faults for acctmap.exe under Wine, for the tests, preloaded into
 * Wine's processes (Wine 8 writes and fsyncs a file's Unix descriptor in the
 * program's own process). A Wine program starts its children with its own
 * Unix environment, so the faults come from the file ACCTMAP_FAULT_CONTROL
 * names, read at each write or flush, one KEY=VALUE a line (no file, no
 * faults):
 *   ACCTMAP_FAULT_FILE=<text>       only files whose Unix path holds it
 *   ACCTMAP_FAULT_FULL_AFTER=<n>    a full disk after n bytes (ENOSPC)
 *   ACCTMAP_FAULT_KILL_AFTER=<n>    write up to byte n, then SIGKILL
 *   ACCTMAP_FAULT_FLUSH=<errno>     fsync fails with it
 *   ACCTMAP_FAULT_RENAME=<n>        the first n renames from such a file fail
 *                                   with EACCES (or ACCTMAP_FAULT_RENAME_ERRNO)
 *   ACCTMAP_FAULT_RENAME_UNLINK=1   each removes the target first, as a
 *                                   server that replaces by delete and rename
 *   ACCTMAP_FAULT_APPEND=<line>     a program appends the line (and CR LF) to
 *                                   the passwd file as its backup takes its
 *                                   name, after acctmap let the old file go
 *   ACCTMAP_FAULT_LOCK_DENIED=1     opening a lock file (*.lk~) fails with
 *                                   EACCES, as its access list would have it
 *   ACCTMAP_FAULT_KILL_AT=<step>    kill acctmap.exe at a step of its rewrite:
 *     flushed    the new file flushed
 *     secured    its security copied: before the old file's second name
 *     linked     the second name made
 *     backed-up  the second name renamed over the backup
 *     final      before the new file is renamed into place
 * Bytes are counted over all such files of the process. Wine makes links
 * and renames in its server, which is preloaded too: the failed renames are
 * counted in the file <control file>.renames, one byte each, and a step
 * taken there kills every acctmap.exe of the server's prefix. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* The C library's own fn, which this library's fn stands in front of. */
#define REAL(fn)                                               \
    ({                                                         \
        static __typeof__(fn) *real_##fn;                      \
        if (!real_##fn) real_##fn = dlsym(RTLD_NEXT, #fn);     \
        real_##fn;                                             \
    })

static long long written;

/* The first bytes of the file at `path` behind the byte at text[0], a NUL
 * after them; their count, or -1. */
static ssize_t read_after(const char *path, char *text, size_t size)
{
    int file = open(path, O_RDONLY | O_CLOEXEC);
    ssize_t len = file >= 0 ? read(file, text + 1, size - 2) : -1;

    if (file >= 0) close(file);
    if (len >= 0) text[len + 1] = 0;
    return len;
}

/* The control file's lines, a line feed before the first; NULL without
 * them. */
static const char *run_settings(char *settings, size_t size)
{
    const char *control = getenv("ACCTMAP_FAULT_CONTROL");

    settings[0] = '\n';
    return control && read_after(control, settings, size) > 0 ? settings : NULL;
}

/* What follows `name` in the settings, when `path` ends in `suffix` and they
 * hold it; else NULL. Other paths never read the control file. */
static const char *asked(const char *path, const char *suffix, const char *name, char *settings,
                         size_t size)
{
    size_t n = strlen(path), m = strlen(suffix);
    const char *at;

    if (n < m || strcmp(path + n - m, suffix) || !run_settings(settings, size) ||
        !(at = strstr(settings, name)))
        return NULL;
    return at + strlen(name);
}

/* The settings, when the file at `path` is one they are meant for; else
 * NULL. */
static const char *targeted_path(const char *path, char *settings, size_t size)
{
    const char *want = asked(path, "", "\nACCTMAP_FAULT_FILE=", settings, size);

    return want && *want != '\n' && strstr(path, strndupa(want, strcspn(want, "\r\n")))
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

/* A setting's number, or -1 (without it or without settings). */
static long long number(const char *settings, const char *name)
{
    const char *at = settings ? strstr(settings, name) : NULL;
    return at ? atoll(at + strlen(name)) : -1;
}

/* The real call: write() where off is -1, as Wine does without an offset. */
static ssize_t put(int fd, const void *buf, size_t n, off64_t off)
{
    return off < 0 ? REAL(write)(fd, buf, n) : REAL(pwrite64)(fd, buf, n, off);
}

/* A write of n bytes to a targeted file: a crash point writes its part and
 * dies; a full disk takes what is left of it, as a short count, then
 * refuses. */
static ssize_t faulty(int fd, const void *buf, size_t n, off64_t off)
{
    char settings[1024];
    const char *s = targeted(fd, settings, sizeof settings);
    long long full = number(s, "\nACCTMAP_FAULT_FULL_AFTER=");
    long long crash = number(s, "\nACCTMAP_FAULT_KILL_AFTER=");
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
    char settings[1024];
    const char *s = targeted(fd, settings, sizeof settings);
    long long error = number(s, "\nACCTMAP_FAULT_FLUSH=");

    if (error > 0) {
        errno = (int)error;
        return -1;
    }
    error = REAL(fsync)(fd);
    if (s && strstr(s, "\nACCTMAP_FAULT_KILL_AT=flushed\n")) kill(getpid(), SIGKILL);
    return (int)error;
}

/* Kills every acctmap.exe of this process's Wine prefix: a step the server
 * takes is taken for the program that asked for it. */
static void kill_runs(void)
{
    static char text[65536];
    char path[64], want[PATH_MAX + 16];
    struct dirent *entry;
    DIR *proc = opendir("/proc");
    ssize_t len;
    int pid;

    snprintf(want, sizeof want, "WINEPREFIX=%s", getenv("WINEPREFIX") ? getenv("WINEPREFIX") : "");
    while (proc && (entry = readdir(proc))) {
        if ((pid = atoi(entry->d_name)) <= 0) continue;
        snprintf(path, sizeof path, "/proc/%d/comm", pid);
        if (read_after(path, text, sizeof text) != 12 || strcmp(text + 1, "acctmap.exe\n"))
            continue;
        snprintf(path, sizeof path, "/proc/%d/environ", pid);
        text[0] = 0;
        len = read_after(path, text, sizeof text);
        if (len > 0 && memmem(text, (size_t)len + 1, want, strlen(want) + 1)) kill(pid, SIGKILL);
    }
    if (proc) closedir(proc);
}

/* When `path` ends in `suffix` and this run asks for a kill at `step`: kills
 * the runs and fails the call that takes the step (EIO); else 0. */
static int kill_if(const char *path, const char *suffix, const char *step)
{
    char settings[1024], want[64];

    snprintf(want, sizeof want, "\nACCTMAP_FAULT_KILL_AT=%s\n", step);
    if (!asked(path, suffix, want, settings, sizeof settings)) return 0;
    kill_runs();
    errno = EIO;
    return 1;
}

int link(const char *from, const char *to)
{
    int r;

    if (kill_if(to, ".bk~", "secured")) return -1;
    r = REAL(link)(from, to);
    if (!r) kill_if(to, ".bk~", "linked");
    return r;
}

/* Opens: a lock file's refused when ACCTMAP_FAULT_LOCK_DENIED says so. */
#define OPEN_FRONT(fn)                                                                     \
    int fn(const char *path, int flags, ...)                                               \
    {                                                                                      \
        char settings[1024];                                                               \
        mode_t mode;                                                                       \
        va_list args;                                                                      \
                                                                                           \
        va_start(args, flags);                                                             \
        mode = flags & O_CREAT ? va_arg(args, mode_t) : 0;                                 \
        va_end(args);                                                                      \
        if (!asked(path, ".lk~", "\nACCTMAP_FAULT_LOCK_DENIED=1", settings, sizeof settings)) \
            return REAL(fn)(path, flags, mode);                                            \
        errno = EACCES;                                                                    \
        return -1;                                                                         \
    }
OPEN_FRONT(open)
OPEN_FRONT(open64)

/* ACCTMAP_FAULT_APPEND: `from` the old file's second name, `to` the
 * backup's name, the passwd file's own name without ".bak". */
static void append_if(const char *from, const char *to)
{
    char settings[1024], path[PATH_MAX];
    const char *line = asked(from, ".bk~", "\nACCTMAP_FAULT_APPEND=", settings, sizeof settings);
    size_t m = strlen(to);
    int fd;

    if (!line || m < 4 || m >= sizeof path) return;
    memcpy(path, to, m - 4);
    path[m - 4] = '\0';
    if ((fd = open(path, O_WRONLY | O_APPEND | O_CLOEXEC)) >= 0) {
        put(fd, line, strcspn(line, "\n"), -1);
        put(fd, "\r\n", 2, -1);
        close(fd);
    }
}

int rename(const char *from, const char *to)
{
    char settings[1024], count[PATH_MAX];
    const char *s = targeted_path(from, settings, sizeof settings);
    long long times = number(s, "\nACCTMAP_FAULT_RENAME="), error;
    struct stat st;
    int file;

    if (kill_if(from, ".nw~", "final")) return -1;
    append_if(from, to);
    snprintf(count, sizeof count, "%s.renames", getenv("ACCTMAP_FAULT_CONTROL"));
    if (times > 0 && (stat(count, &st) || st.st_size < times) &&
        (file = open(count, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600)) >= 0) {
        if (put(file, "x", 1, -1) == 1 && number(s, "\nACCTMAP_FAULT_RENAME_UNLINK=") == 1)
            unlink(to);
        close(file);
        error = number(s, "\nACCTMAP_FAULT_RENAME_ERRNO=");
        errno = error > 0 ? (int)error : EACCES;
        return -1;
    }
    file = REAL(rename)(from, to);
    if (!file) kill_if(from, ".bk~", "backed-up");
    return file;
}
