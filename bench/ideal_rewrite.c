/* The least a rewrite that keeps a backup and survives a crash must do, with
 * no filtering: the file read in 1 MiB blocks into a fresh file, that file
 * flushed to the disk, the old file made the backup by a link and a rename,
 * and the new file renamed into place.
 *
 *   ideal_rewrite FILE     (FILE.bak is replaced, FILE.ideal-new is made)
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static char block[1 << 20];

static void Fail(const char* what) {
    perror(what);
    exit(1);
}

int main(int argc, char** argv) {
    char fresh[4096];
    char link_name[4096];
    char backup[4096];
    if (argc != 2 || snprintf(fresh, sizeof fresh, "%s.ideal-new", argv[1]) >= (int)sizeof fresh ||
        snprintf(link_name, sizeof link_name, "%s.ideal-link", argv[1]) >= (int)sizeof link_name ||
        snprintf(backup, sizeof backup, "%s.bak", argv[1]) >= (int)sizeof backup) {
        fprintf(stderr, "usage: ideal_rewrite FILE\n");
        return 2;
    }
    int in = open(argv[1], O_RDONLY);
    int out = open(fresh, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (in < 0 || out < 0) {
        Fail("open");
    }
    for (ssize_t got; (got = read(in, block, sizeof block)) != 0;) {
        if (got < 0 || write(out, block, (size_t)got) != got) {
            Fail("copy");
        }
    }
    if (fsync(out) != 0 || close(out) != 0 || close(in) != 0) {
        Fail("fsync");
    }
    if (link(argv[1], link_name) != 0 || rename(link_name, backup) != 0 ||
        rename(fresh, argv[1]) != 0) {
        Fail("rename");
    }
    return 0;
}
