// The machine's disks and the Windows C runtime's standard streams: drive
// letters mapped to host folders whose names ignore letter case as NTFS's
// do, the read-only attribute, the files of the passwd rewrite with the
// faults a real disk gives rarely, and text-mode output (CR LF on disk).
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <utility>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"
#include "text.h"

struct RtFile {
    int fd;
    bool writing;
    bool uncommitted;      // written to since the last commit
    uint64_t written;      // bytes of this file so far
    uint64_t writtenBack;  // up to where the disk write has been started
};

namespace {

// Writes the host starts towards the disk a piece at a time, so that the
// commit at the end finds little left to do.
const uint64_t kWriteBackBytes = 8u << 20;

struct StandardStream {
    int fd;
    FILE* stream;
};

StandardStream g_standardOut = {1, nullptr};
StandardStream g_standardErr = {2, nullptr};
uint64_t g_bytesWritten = 0;  // by every file of the run
std::set<std::pair<dev_t, ino_t>>& g_uncommitted = *new std::set<std::pair<dev_t, ino_t>>;
std::vector<std::pair<int, std::string>>& g_locks = *new std::vector<std::pair<int, std::string>>;

bool IsReadOnlyFile(const std::string& host) {
    struct stat status;
    return stat(host.c_str(), &status) == 0 && !S_ISDIR(status.st_mode) &&
           (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::string FolderOf(const std::string& host) {
    size_t slash = host.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : host.substr(0, slash);
}

// The Windows code for a failed host call on `host`. A missing file is 2
// when its folder exists and 3 when the folder is missing too, as Windows
// tells them apart.
DWORD Failure(int error, const std::string& host) {
    struct stat status;
    switch (error) {
        case ENOENT:
            return stat(FolderOf(host).c_str(), &status) == 0 ? ERROR_FILE_NOT_FOUND
                                                              : ERROR_PATH_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

DWORD Fail(DWORD code) {
    SetLastError(code);
    return code;
}

// DeleteFileA on a host path.
DWORD RemoveHostFile(const std::string& host) {
    DWORD code = 0;
    struct stat status;
    if (lstat(host.c_str(), &status) != 0) {
        code = Failure(errno, host);
    } else if (S_ISDIR(status.st_mode) || IsReadOnlyFile(host)) {
        // DeleteFileA refuses folders and read-only files, not links to them.
        code = S_ISLNK(status.st_mode) ? 0 : ERROR_ACCESS_DENIED;
    }
    if (code == 0 && unlink(host.c_str()) != 0) {
        code = Failure(errno, host);
    }
    return code != 0 ? Fail(code) : 0;
}

// The entry of `folder` that Windows would take for `name`: the exact one, or
// one that differs only in the case of ASCII letters. Empty when none.
std::string FindEntry(const std::string& folder, const std::string& name) {
    struct stat status;
    if (lstat((folder + "/" + name).c_str(), &status) == 0) {
        return name;
    }
    std::string found;
    DIR* directory = opendir(folder.c_str());
    while (directory != nullptr && found.empty()) {
        struct dirent* entry = readdir(directory);
        if (entry == nullptr) {
            break;
        }
        // ASCII letters fold alike in UTF-8, whose other bytes are all above.
        const size_t length = strlen(entry->d_name);
        bool same = length == name.size();
        for (size_t i = 0; same && i < length; ++i) {
            same = FoldAscii(static_cast<unsigned char>(name[i])) ==
                   FoldAscii(static_cast<unsigned char>(entry->d_name[i]));
        }
        found = same ? entry->d_name : "";
    }
    if (directory != nullptr) {
        closedir(directory);
    }
    return found;
}

// Where a Windows path lives on the host: 0, or the code for a drive the
// machine lacks or a name Windows refuses.
DWORD HostPath(const char* path, std::string* host) {
    const SimMachine& machine = SimCurrentMachine();
    if (!(isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')) {
        *host = SimAnsiToUtf8(path);
        for (char& c : *host) {
            c = c == '\\' ? '/' : c;
        }
        return 0;
    }
    *host = machine.drives[tolower(static_cast<unsigned char>(path[0])) - 'a'];
    if (host->empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    // Windows folds "\\", "." and ".." before the disk sees the path.
    std::vector<std::string> components;
    std::string component;
    for (const char* p = path + 2;; ++p) {
        if (*p != '\\' && *p != '/' && *p != '\0') {
            component.push_back(*p);
            continue;
        }
        if (component == ".." && !components.empty()) {
            components.pop_back();
        } else if (!component.empty() && component != "." && component != "..") {
            for (unsigned char c : component) {
                if (c < 32 || strchr("*?\"<>|:", c) != nullptr) {
                    return ERROR_INVALID_NAME;
                }
            }
            components.push_back(SimAnsiToUtf8(component.c_str()));
        }
        component.clear();
        if (*p == '\0') {
            break;
        }
    }
    bool existing = true;
    for (const std::string& name : components) {
        std::string entry = existing ? FindEntry(*host, name) : "";
        existing = !entry.empty();
        *host += "/" + (existing ? entry : name);
    }
    return 0;
}

// A folder held against the other processes of the machine while a name in
// it is looked up and made, so that two spellings of a new name make one
// file even at the same moment. Only the creating calls take it.
struct FolderLock {
    int fd = -1;
    ~FolderLock() {
        if (fd >= 0) {
            close(fd);  // drops the flock
        }
    }
};

// HostPath for a call that may create the path's last name, with its folder
// locked until `lock` goes: the name is looked for once the folder is held.
DWORD HostPathToCreate(const char* path, std::string* host, FolderLock* lock) {
    const char* name = path + strlen(path);
    while (name > path && name[-1] != '\\' && name[-1] != '/') {
        --name;
    }
    std::string folder(path, static_cast<size_t>(name - path));
    DWORD code = HostPath(folder.empty() ? "." : folder.c_str(), host);
    if (code == 0) {
        lock->fd = open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        flock(lock->fd, LOCK_EX);  // a missing folder: the creation fails anyway
        code = HostPath(path, host);
    }
    return code;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t done = write(fd, data, size);
        if (done < 0 && errno != EINTR) {
            return false;
        }
        data += done > 0 ? done : 0;
        size -= done > 0 ? static_cast<size_t>(done) : 0;
    }
    return true;
}

// Text mode, as the Windows runtime writes it: every line feed as CR LF,
// even after a CR.
ssize_t WriteText(void* cookie, const char* buffer, size_t size) {
    StandardStream* stream = static_cast<StandardStream*>(cookie);
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        bytes += buffer[i] == '\n' ? "\r\n" : std::string(1, buffer[i]);
    }
    return WriteAll(stream->fd, bytes.data(), bytes.size()) ? static_cast<ssize_t>(size) : 0;
}

FILE* StandardStreamOf(StandardStream* stream, int buffering) {
    if (stream->stream == nullptr) {
        stream->stream = fopencookie(stream, "w", {nullptr, WriteText, nullptr, nullptr});
        setvbuf(stream->stream, nullptr, buffering, BUFSIZ);
    }
    return stream->stream;
}

RtFile* Wrap(int fd, bool writing, const std::string& host) {
    if (fd < 0) {
        Fail(Failure(errno, host));
        return nullptr;
    }
    struct stat status;
    if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        close(fd);
        Fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return new RtFile{fd, writing, false, 0, 0};
}

// Gives the new file the owner, group and mode of the one it replaces, as
// Windows keeps a replaced file's security.
bool TakeOwnerAndMode(const std::string& host, const struct stat& old, const struct stat& fresh) {
    const bool sameOwner = fresh.st_uid == old.st_uid && fresh.st_gid == old.st_gid;
    const bool sameMode = (fresh.st_mode & 07777) == (old.st_mode & 07777);
    return (sameOwner || chown(host.c_str(), old.st_uid, old.st_gid) == 0) &&
           (sameMode || chmod(host.c_str(), old.st_mode & 07777) == 0);
}

}  // namespace

void SimSetStandardStreams(int outFd, int errFd) {
    for (StandardStream* stream : {&g_standardOut, &g_standardErr}) {
        if (stream->stream != nullptr) {
            fflush(stream->stream);
        }
    }
    g_standardOut.fd = outFd;
    g_standardErr.fd = errFd;
}

FILE* RtStdout(void) {
    // Like the Windows runtime: buffered towards a file or pipe, at once
    // towards a console.
    return StandardStreamOf(&g_standardOut, isatty(g_standardOut.fd) ? _IONBF : _IOFBF);
}

FILE* RtStderr(void) {
    return StandardStreamOf(&g_standardErr, _IONBF);
}

const char* RtFindByte(const char* bytes, size_t size, char c) {
    return static_cast<const char*>(memchr(bytes, c, size));
}

RtFile* RtOpenFile(const char* path) {
    std::string host;
    DWORD code = HostPath(path, &host);
    return code != 0 ? (Fail(code), nullptr)
                     : Wrap(open(host.c_str(), O_RDONLY | O_CLOEXEC), false, host);
}

RtFile* RtCreateNewFile(const char* path) {
    std::string host;
    FolderLock lock;
    DWORD code = HostPathToCreate(path, &host, &lock);
    if (code == 0 && RemoveHostFile(host) == ERROR_ACCESS_DENIED) {
        code = ERROR_FILE_EXISTS;
    }
    if (code != 0) {
        Fail(code);
        return nullptr;
    }
    return Wrap(open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666),
                true, host);
}

DWORD RtReadFile(RtFile* file, void* buffer, size_t size, size_t* got) {
    ssize_t done;
    do {
        done = read(file->fd, buffer, size);
    } while (done < 0 && errno == EINTR);
    *got = done > 0 ? static_cast<size_t>(done) : 0;
    return done < 0 ? Fail(ERROR_ACCESS_DENIED) : 0;
}

DWORD RtWriteFile(RtFile* file, const void* data, size_t size) {
    const SimFaults& faults = SimCurrentMachine().faults;
    if (g_bytesWritten + size > faults.killAfter) {
        // As if killed: the part before the limit reaches the file, nothing
        // is flushed or cleaned up.
        WriteAll(file->fd, static_cast<const char*>(data), faults.killAfter - g_bytesWritten);
        _exit(137);
    }
    if (g_bytesWritten + size > faults.writeLimit) {
        g_bytesWritten = faults.writeLimit;  // the disk is full from here on
        return Fail(ERROR_DISK_FULL);
    }
    if (!WriteAll(file->fd, static_cast<const char*>(data), size)) {
        return Fail(errno == ENOSPC ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED);
    }
    g_bytesWritten += size;
    file->uncommitted = true;
    file->written += size;
    if (file->written - file->writtenBack >= kWriteBackBytes) {
        sync_file_range(file->fd, static_cast<off_t>(file->writtenBack),
                        static_cast<off_t>(file->written - file->writtenBack),
                        SYNC_FILE_RANGE_WRITE);
        file->writtenBack = file->written;
    }
    return 0;
}

DWORD RtSeekFile(RtFile* file, uint64_t offset) {
    return lseek(file->fd, static_cast<off_t>(offset), SEEK_SET) < 0 ? Fail(ERROR_ACCESS_DENIED)
                                                                     : 0;
}

DWORD RtCommitFile(RtFile* file) {
    if (fsync(file->fd) != 0) {
        return Fail(Failure(errno, ""));
    }
    file->uncommitted = false;
    return 0;
}

DWORD RtCloseFile(RtFile* file) {
    // What a crash could still lose is remembered, for the replace.
    struct stat status;
    if (file->uncommitted && fstat(file->fd, &status) == 0) {
        g_uncommitted.insert({status.st_dev, status.st_ino});
    }
    const DWORD fault = file->writing ? SimCurrentMachine().faults.closeFile : 0;
    const bool closed = close(file->fd) == 0;
    delete file;
    return fault != 0 ? Fail(fault) : closed ? 0 : Fail(ERROR_ACCESS_DENIED);
}

int RtPathExists(const char* path) {
    std::string host;
    struct stat status;
    return HostPath(path, &host) == 0 && stat(host.c_str(), &status) == 0;
}

int RtIsReadOnly(const char* path) {
    std::string host;
    return HostPath(path, &host) == 0 && IsReadOnlyFile(host);
}

DWORD RtRemoveFile(const char* path) {
    std::string host;
    DWORD code = HostPath(path, &host);
    return code != 0 ? Fail(code) : RemoveHostFile(host);
}

bool RtResolvePath(const char* path, char* out, size_t size) {
    std::string host;
    struct stat status;
    char target[PATH_MAX];
    if (HostPath(path, &host) == 0 && lstat(host.c_str(), &status) == 0 &&
        S_ISLNK(status.st_mode) && realpath(host.c_str(), target) != nullptr) {
        return CopyText(out, size, target);  // a host path: the machine takes it as it is
    }
    return CopyText(out, size, path);
}

DWORD RtReplaceFile(const char* target, const char* replacement, const char* backup) {
    std::string targetHost;
    std::string replacementHost;
    std::string backupHost;
    FolderLock lock;
    DWORD code = HostPathToCreate(target, &targetHost, &lock);
    if (code == 0) {
        code = HostPath(replacement, &replacementHost);
    }
    if (code == 0 && backup != nullptr) {
        code = HostPath(backup, &backupHost);
    }
    struct stat old;
    struct stat fresh;
    const bool keep = code == 0 && stat(targetHost.c_str(), &old) == 0;
    if (code == 0 && stat(replacementHost.c_str(), &fresh) != 0) {
        code = Failure(errno, replacementHost);
    } else if (code == 0 && g_uncommitted.count({fresh.st_dev, fresh.st_ino}) != 0) {
        // A crash could still lose what was written: the replace would put
        // a file the disk may not hold in the old one's place.
        code = ERROR_UNABLE_TO_MOVE_REPLACEMENT;
    } else if (keep && IsReadOnlyFile(targetHost)) {
        code = ERROR_ACCESS_DENIED;
    } else if (keep && !TakeOwnerAndMode(replacementHost, old, fresh)) {
        code = ERROR_ACCESS_DENIED;  // the new file would not keep the old one's owner
    } else if (keep && backup != nullptr) {
        // The old file becomes the backup in one step; a backup already there
        // goes first, a link as a link.
        unlink(backupHost.c_str());
        if (link(targetHost.c_str(), backupHost.c_str()) != 0) {
            code = Failure(errno, backupHost);
        }
    }
    if (code == 0 && rename(replacementHost.c_str(), targetHost.c_str()) != 0) {
        code = Failure(errno, targetHost);
    }
    return code != 0 ? Fail(code) : 0;
}

DWORD RtLockFile(const char* lockPath, unsigned timeoutMs, RtLockHandle* handle) {
    *handle = RT_NO_LOCK;
    const unsigned cap = SimCurrentMachine().faults.lockWaitMs;
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(cap != 0 && cap < timeoutMs ? cap : timeoutMs);
    for (;;) {
        std::string host;
        int fd = -1;
        {
            FolderLock lock;
            DWORD code = HostPathToCreate(lockPath, &host, &lock);
            if (code == 0 && IsReadOnlyFile(host)) {
                code = ERROR_ACCESS_DENIED;
            }
            if (code != 0) {
                return Fail(code);
            }
            fd = open(host.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0) {
                return Fail(Failure(errno, host));
            }
        }
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The holder before us unlinks the file before it lets go: only a
            // lock on the file that still bears the name counts.
            struct stat held;
            struct stat named;
            if (fstat(fd, &held) == 0 && stat(host.c_str(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
                g_locks.push_back({fd, host});
                *handle = fd;
                return 0;
            }
        } else if (std::chrono::steady_clock::now() >= deadline) {
            close(fd);
            return Fail(WAIT_TIMEOUT);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        close(fd);
    }
}

void RtUnlockFile(RtLockHandle handle) {
    for (size_t i = 0; i < g_locks.size(); ++i) {
        if (g_locks[i].first == static_cast<int>(handle)) {
            unlink(g_locks[i].second.c_str());
            close(g_locks[i].first);  // drops the flock
            g_locks.erase(g_locks.begin() + static_cast<long>(i));
            return;
        }
    }
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    const SimMachine& machine = SimCurrentMachine();
    std::string host;
    FolderLock lock;
    DWORD code = machine.faults.createDirectory;
    if (code == 0) {
        code = HostPathToCreate(path, &host, &lock);
    }
    if (code == 0 && mkdir(host.c_str(), 0777) != 0) {
        code = errno == EEXIST ? ERROR_ALREADY_EXISTS : Failure(errno, host);
    }
    return code == 0 ? TRUE : (Fail(code), FALSE);
}
