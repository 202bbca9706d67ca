/* The least a rewrite that keeps a backup and never leaves the file absent
 * must do on Windows, with no filtering: the file read in 1 MiB blocks into a
 * fresh file, that file flushed to the disk, the old file linked under a
 * temporary name and moved over the backup, the new file moved over the old
 * one.
 *
 *   ideal_rewrite.exe FILE     (FILE.bak is replaced; FILE.ideal-new and
 *                               FILE.ideal-link are made on the way)
 */
#include <windows.h>

#include <stdio.h>

static char block[1 << 20];

int main(int argc, char** argv) {
    const DWORD replace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    char fresh[MAX_PATH];
    char link[MAX_PATH];
    char backup[MAX_PATH];
    if (argc != 2 || snprintf(fresh, sizeof fresh, "%s.ideal-new", argv[1]) >= MAX_PATH ||
        snprintf(link, sizeof link, "%s.ideal-link", argv[1]) >= MAX_PATH ||
        snprintf(backup, sizeof backup, "%s.bak", argv[1]) >= MAX_PATH) {
        fprintf(stderr, "usage: ideal_rewrite FILE\n");
        return 2;
    }
    HANDLE in = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE out = CreateFileA(fresh, GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    DWORD got = 0;
    DWORD written = 0;
    BOOL ok = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE;
    while (ok && (ok = ReadFile(in, block, sizeof block, &got, NULL)) && got > 0) {
        ok = WriteFile(out, block, got, &written, NULL) && written == got;
    }
    ok = ok && FlushFileBuffers(out) && CloseHandle(out) && CloseHandle(in) &&
         CreateHardLinkA(link, argv[1], NULL) && MoveFileExA(link, backup, replace) &&
         MoveFileExA(fresh, argv[1], replace);
    if (!ok) {
        fprintf(stderr, "ideal_rewrite: error %lu\n", GetLastError());
    }
    return ok ? 0 : 1;
}
