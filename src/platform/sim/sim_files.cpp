// The machine's disks and the Windows C runtime's streams: drive letters
// mapped to host folders, the read-only attribute, a disk that can fill up,
// and text-mode streams (CR LF on disk, LF in the program, Ctrl-Z ends a
// text read).
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/bounded_text.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"

namespace {

struct SimStream {
    int fd;
    bool text;
    bool file;   // a disk file: its writes count against write_limit
    bool ended;  // a text read met Ctrl-Z: the rest of the file is not read
    FILE* stream;
    unsigned char raw[4096];
    size_t rawPosition;
    size_t rawLength;
    char buffer[65536];  // the stream's own; glibc ignores a size without one
};

struct SimLock {
    int fd;
    std::string path;
};

SimStream g_standardOut = {1, true, false, false, nullptr, {}, 0, 0, {}};
SimStream g_standardErr = {2, true, false, false, nullptr, {}, 0, 0, {}};
std::vector<SimStream*> g_fileStreams;
std::vector<SimLock> g_locks;

bool HasWriteBit(const struct stat& status) {
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

bool IsReadOnlyFile(const std::string& host) {
    struct stat status;
    return stat(host.c_str(), &status) == 0 && !S_ISDIR(status.st_mode) && !HasWriteBit(status);
}

// A missing file is 2 when its folder exists and 3 when the folder is
// missing too, as Windows tells them apart.
DWORD FailureCode(int error, const std::string& host) {
    if (error != ENOENT) {
        return SimErrnoToWindows(error);
    }
    size_t slash = host.rfind('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : host.substr(0, slash);
    struct stat status;
    bool folderExists = stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    return folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool SameNameUtf8(const std::string& a, const char* b) {
    size_t length = strlen(b);
    if (a.size() != length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i])) {
            return false;
        }
    }
    return true;
}

// The entry of `folder` that Windows would take for `name`: the exact one, or
// one that differs only in the case of ASCII letters. Empty when none.
std::string FindEntry(const std::string& folder, const std::string& name) {
    struct stat status;
    if (lstat((folder + "/" + name).c_str(), &status) == 0) {
        return name;
    }
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) {
        return "";
    }
    std::string found;
    while (struct dirent* entry = readdir(directory)) {
        if (SameNameUtf8(name, entry->d_name)) {
            found = entry->d_name;
            break;
        }
    }
    closedir(directory);
    return found;
}

// Stops at the first Ctrl-Z; a CR LF pair comes in as LF and a lone CR as
// itself.
ssize_t ReadText(SimStream* stream, char* buffer, size_t size) {
    size_t out = 0;
    while (out < size && !stream->ended) {
        if (stream->rawPosition == stream->rawLength) {
            ssize_t got = read(stream->fd, stream->raw, sizeof stream->raw);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                SetLastError(SimErrnoToWindows(errno));
                return out > 0 ? (ssize_t)out : -1;
            }
            if (got == 0) {
                break;
            }
            stream->rawPosition = 0;
            stream->rawLength = (size_t)got;
        }
        unsigned char c = stream->raw[stream->rawPosition];
        if (c == 0x1A) {
            stream->ended = true;
            break;
        }
        if (c == '\r' && stream->rawPosition + 1 == stream->rawLength) {
            // The CR is the last byte at hand: fetch what follows it.
            stream->raw[0] = '\r';
            stream->rawPosition = 0;
            stream->rawLength = 1;
            ssize_t got;
            do {
                got = read(stream->fd, stream->raw + 1, sizeof stream->raw - 1);
            } while (got < 0 && errno == EINTR);
            if (got > 0) {
                stream->rawLength += (size_t)got;
            }
        }
        if (c == '\r' && stream->rawPosition + 1 < stream->rawLength &&
            stream->raw[stream->rawPosition + 1] == '\n') {
            ++stream->rawPosition;
            c = '\n';
        }
        buffer[out++] = (char)c;
        ++stream->rawPosition;
    }
    return (ssize_t)out;
}

ssize_t ReadStream(void* cookie, char* buffer, size_t size) {
    SimStream* stream = (SimStream*)cookie;
    if (stream->text) {
        return ReadText(stream, buffer, size);
    }
    for (;;) {
        ssize_t got = read(stream->fd, buffer, size);
        if (got >= 0 || errno != EINTR) {
            if (got < 0) {
                SetLastError(SimErrnoToWindows(errno));
            }
            return got;
        }
    }
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t done = write(fd, data, size);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0) {
            return false;
        }
        data += done;
        size -= (size_t)done;
    }
    return true;
}

ssize_t WriteStream(void* cookie, const char* buffer, size_t size) {
    SimStream* stream = (SimStream*)cookie;
    std::string bytes;
    if (stream->text) {
        // Whole runs between line feeds at a time: the passwd rewrite sends
        // every byte of a large file through here.
        bytes.reserve(size + size / 8);
        const char* at = buffer;
        const char* end = buffer + size;
        while (at < end) {
            const char* lineFeed = (const char*)memchr(at, '\n', (size_t)(end - at));
            if (lineFeed == nullptr) {
                bytes.append(at, (size_t)(end - at));
                break;
            }
            bytes.append(at, (size_t)(lineFeed - at));
            bytes.append("\r\n");  // even after a CR, as the Windows runtime does
            at = lineFeed + 1;
        }
    } else {
        bytes.assign(buffer, size);
    }
    if (stream->file) {
        const SimMachine& machine = SimCurrentMachine();
        if (machine.hasWriteLimit && g_simBytesWritten + bytes.size() > machine.writeLimit) {
            // The disk is full from here on.
            g_simBytesWritten = machine.writeLimit;
            SetLastError(ERROR_DISK_FULL);
            errno = ENOSPC;
            return 0;
        }
    }
    if (!WriteAll(stream->fd, bytes.data(), bytes.size())) {
        if (stream->file) {
            SetLastError(SimErrnoToWindows(errno));
        }
        return 0;
    }
    if (stream->file) {
        g_simBytesWritten += bytes.size();
    }
    return (ssize_t)size;
}

int CloseStream(void* cookie) {
    SimStream* stream = (SimStream*)cookie;
    if (!stream->file) {
        stream->stream = nullptr;  // the descriptor is not ours to close
        return 0;
    }
    for (size_t i = 0; i < g_fileStreams.size(); ++i) {
        if (g_fileStreams[i] == stream) {
            g_fileStreams.erase(g_fileStreams.begin() + (long)i);
            break;
        }
    }
    int result = close(stream->fd);
    delete stream;
    return result;
}

const cookie_io_functions_t kStreamFunctions = {ReadStream, WriteStream, nullptr, CloseStream};

FILE* StandardStream(SimStream* stream, int buffering) {
    if (stream->stream == nullptr) {
        stream->stream = fopencookie(stream, "w", kStreamFunctions);
        if (stream->stream != nullptr) {
            setvbuf(stream->stream, nullptr, buffering, BUFSIZ);
        }
    }
    return stream->stream;
}

SimStream* FindStream(FILE* file) {
    for (SimStream* stream : g_fileStreams) {
        if (stream->stream == file) {
            return stream;
        }
    }
    return nullptr;
}

// Windows refuses these in a file name.
bool ValidWindowsName(const std::string& component) {
    for (unsigned char c : component) {
        if (c < 32 || strchr("*?\"<>|:", c) != nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace

DWORD SimHostPath(const char* path, std::string* hostPath) {
    const SimMachine& machine = SimCurrentMachine();
    if (path == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!(isalpha((unsigned char)path[0]) && path[1] == ':')) {
        std::string host = SimAnsiToUtf8(path);
        for (char& c : host) {
            c = c == '\\' ? '/' : c;
        }
        *hostPath = host;
        return 0;
    }
    const std::string& folder = machine.drives[toupper((unsigned char)path[0]) - 'A'];
    if (folder.empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    // Windows folds "\\", "." and ".." before the disk sees the path.
    std::vector<std::string> components;
    std::string component;
    for (const char* p = path + 2;; ++p) {
        if (*p == '\\' || *p == '/' || *p == '\0') {
            if (component == "..") {
                if (!components.empty()) {
                    components.pop_back();
                }
            } else if (!component.empty() && component != ".") {
                if (!ValidWindowsName(component)) {
                    return ERROR_INVALID_NAME;
                }
                components.push_back(SimAnsiToUtf8(component.c_str()));
            }
            component.clear();
            if (*p == '\0') {
                break;
            }
        } else {
            component.push_back(*p);
        }
    }
    std::string host = folder;
    bool existing = true;
    for (const std::string& name : components) {
        std::string entry = existing ? FindEntry(host, name) : "";
        existing = !entry.empty();
        host += "/" + (existing ? entry : name);
    }
    *hostPath = host;
    return 0;
}

bool SimMapPath(const char* windowsPath, char* hostPath, size_t hostPathSize) {
    std::string host;
    return SimHostPath(windowsPath, &host) == 0 && CopyText(hostPath, hostPathSize, host.c_str());
}

uint64_t SimBytesWritten(void) {
    return g_simBytesWritten;
}

void SimSetStandardStreams(int outFd, int errFd) {
    if (g_standardOut.stream != nullptr) {
        fflush(g_standardOut.stream);
    }
    if (g_standardErr.stream != nullptr) {
        fflush(g_standardErr.stream);
    }
    g_standardOut.fd = outFd;
    g_standardErr.fd = errFd;
}

FILE* RtStdout(void) {
    // Like the Windows runtime: buffered towards a file or pipe, at once
    // towards a console.
    return StandardStream(&g_standardOut, isatty(g_standardOut.fd) ? _IONBF : _IOFBF);
}

FILE* RtStderr(void) {
    return StandardStream(&g_standardErr, _IONBF);
}

FILE* RtOpenFile(const char* path, const char* mode) {
    SimCurrentMachine();
    if (path == nullptr || mode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        errno = EINVAL;
        return nullptr;
    }
    std::string kind = mode;
    bool writing = kind == "w" || kind == "wb" || kind == "wt";
    bool reading = kind == "r" || kind == "rb" || kind == "rt";
    if (!writing && !reading) {
        SetLastError(ERROR_INVALID_PARAMETER);
        errno = EINVAL;
        return nullptr;
    }
    std::string host;
    DWORD code = SimHostPath(path, &host);
    if (code != 0) {
        SetLastError(code);
        errno = code == ERROR_INVALID_NAME ? EINVAL : ENOENT;
        return nullptr;
    }
    if (writing && IsReadOnlyFile(host)) {
        SetLastError(ERROR_ACCESS_DENIED);
        errno = EACCES;
        return nullptr;
    }
    int fd = writing ? open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)
                     : open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        SetLastError(FailureCode(error, host));
        errno = error;
        return nullptr;
    }
    struct stat status;
    if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        errno = EACCES;
        return nullptr;
    }
    SimStream* stream = new SimStream();
    stream->fd = fd;
    stream->text = kind.find('b') == std::string::npos;
    stream->file = true;
    stream->stream = fopencookie(stream, writing ? "w" : "r", kStreamFunctions);
    if (stream->stream == nullptr) {
        close(fd);
        delete stream;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        errno = ENOMEM;
        return nullptr;
    }
    // Larger blocks than glibc's default: a large passwd file then costs few
    // calls.
    setvbuf(stream->stream, stream->buffer, _IOFBF, sizeof stream->buffer);
    g_fileStreams.push_back(stream);
    return stream->stream;
}

int RtPathExists(const char* path) {
    std::string host;
    DWORD code = SimHostPath(path, &host);
    if (code != 0) {
        SetLastError(code);
        return 0;
    }
    struct stat status;
    if (stat(host.c_str(), &status) != 0) {
        SetLastError(FailureCode(errno, host));
        return 0;
    }
    return 1;
}

int RtIsReadOnly(const char* path) {
    std::string host;
    return SimHostPath(path, &host) == 0 && IsReadOnlyFile(host) ? 1 : 0;
}

DWORD RtCommitFile(FILE* file) {
    SetLastError(0);
    if (fflush(file) != 0) {
        DWORD code = GetLastError();
        code = code != 0 ? code : SimErrnoToWindows(errno);
        SetLastError(code);
        return code;
    }
    SimStream* stream = FindStream(file);
    if (stream != nullptr && fsync(stream->fd) != 0) {
        DWORD code = SimErrnoToWindows(errno);
        SetLastError(code);
        return code;
    }
    return 0;
}

DWORD RtRemoveFile(const char* path) {
    std::string host;
    DWORD code = SimHostPath(path, &host);
    struct stat status;
    if (code == 0 && lstat(host.c_str(), &status) != 0) {
        code = FailureCode(errno, host);
    } else if (code == 0 && (S_ISDIR(status.st_mode) || !HasWriteBit(status))) {
        code = ERROR_ACCESS_DENIED;
    } else if (code == 0 && unlink(host.c_str()) != 0) {
        code = FailureCode(errno, host);
    }
    if (code != 0) {
        SetLastError(code);
    }
    return code;
}

DWORD RtReplaceFile(const char* target, const char* replacement, const char* backup) {
    std::string targetHost;
    std::string replacementHost;
    DWORD code = SimHostPath(target, &targetHost);
    if (code == 0) {
        code = SimHostPath(replacement, &replacementHost);
    }
    struct stat targetStatus;
    struct stat replacementStatus;
    bool targetExists = code == 0 && stat(targetHost.c_str(), &targetStatus) == 0;
    if (code == 0 && stat(replacementHost.c_str(), &replacementStatus) != 0) {
        code = FailureCode(errno, replacementHost);
    } else if (code == 0 && targetExists &&
               (S_ISDIR(targetStatus.st_mode) || !HasWriteBit(targetStatus))) {
        code = ERROR_ACCESS_DENIED;
    }
    if (code == 0 && targetExists) {
        chmod(replacementHost.c_str(), targetStatus.st_mode & 07777);
    }
    // rename(2) replaces in one step and needs no backup name to recover
    // from; linking the old file there would, if killed half-way, leave the
    // backup and the target as one file.
    (void)backup;
    if (code == 0 && rename(replacementHost.c_str(), targetHost.c_str()) != 0) {
        code = FailureCode(errno, targetHost);
    }
    if (code != 0) {
        SetLastError(code);
    }
    return code;
}

RtLockResult RtLockFile(const char* lockPath, unsigned timeoutMs, RtLockHandle* handle) {
    *handle = RT_NO_LOCK;
    std::string host;
    DWORD code = SimHostPath(lockPath, &host);
    if (code == 0 && IsReadOnlyFile(host)) {
        code = ERROR_ACCESS_DENIED;
    }
    if (code != 0) {
        SetLastError(code);
        return RT_LOCK_FAILED;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int fd = open(host.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            SetLastError(FailureCode(errno, host));
            return RT_LOCK_FAILED;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The holder before us unlinks the file before it lets go: only a
            // lock on the file that still bears the name counts.
            struct stat held;
            struct stat named;
            if (fstat(fd, &held) == 0 && stat(host.c_str(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
                g_locks.push_back(SimLock{fd, host});
                *handle = fd;
                return RT_LOCK_TAKEN;
            }
            close(fd);
            continue;
        }
        int error = errno;
        close(fd);
        if (error != EWOULDBLOCK) {
            SetLastError(SimErrnoToWindows(error));
            return RT_LOCK_FAILED;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return RT_LOCK_BUSY;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void RtUnlockFile(RtLockHandle handle) {
    for (size_t i = 0; i < g_locks.size(); ++i) {
        if (g_locks[i].fd == (int)handle) {
            unlink(g_locks[i].path.c_str());
            flock(g_locks[i].fd, LOCK_UN);
            close(g_locks[i].fd);
            g_locks.erase(g_locks.begin() + (long)i);
            return;
        }
    }
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES attributes) {
    const SimMachine& machine = SimCurrentMachine();
    (void)attributes;
    if (machine.createDirectoryFault != 0) {
        SetLastError(machine.createDirectoryFault);
        return FALSE;
    }
    std::string host;
    DWORD code = SimHostPath(path, &host);
    if (code == 0 && mkdir(host.c_str(), 0777) != 0) {
        code = errno == EEXIST   ? ERROR_ALREADY_EXISTS
               : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                 : SimErrnoToWindows(errno);
    }
    if (code != 0) {
        SetLastError(code);
        return FALSE;
    }
    return TRUE;
}

BOOL CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists) {
    const SimMachine& machine = SimCurrentMachine();
    std::string source;
    std::string destination;
    DWORD code = SimHostPath(existingFile, &source);
    if (code == 0) {
        code = SimHostPath(newFile, &destination);
    }
    struct stat sourceStatus = {};
    struct stat destinationStatus = {};
    if (code == 0 && stat(source.c_str(), &sourceStatus) != 0) {
        code = FailureCode(errno, source);
    } else if (code == 0 && S_ISDIR(sourceStatus.st_mode)) {
        code = ERROR_ACCESS_DENIED;
    } else if (code == 0 && machine.copyFileFault != 0) {
        code = machine.copyFileFault;
    }
    bool destinationExists = code == 0 && stat(destination.c_str(), &destinationStatus) == 0;
    if (destinationExists) {
        if (destinationStatus.st_dev == sourceStatus.st_dev &&
            destinationStatus.st_ino == sourceStatus.st_ino) {
            code = ERROR_SHARING_VIOLATION;
        } else if (failIfExists) {
            code = ERROR_FILE_EXISTS;
        } else if (S_ISDIR(destinationStatus.st_mode) || !HasWriteBit(destinationStatus)) {
            code = ERROR_ACCESS_DENIED;
        }
    }
    if (code == 0 && machine.hasWriteLimit &&
        g_simBytesWritten + (uint64_t)sourceStatus.st_size > machine.writeLimit) {
        // Windows deletes what it could not finish; the disk stays full.
        g_simBytesWritten = machine.writeLimit;
        unlink(destination.c_str());
        code = ERROR_DISK_FULL;
    }
    int in = -1;
    int out = -1;
    if (code == 0 && (in = open(source.c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
        code = FailureCode(errno, source);
    }
    if (code == 0 &&
        (out = open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) < 0) {
        code = FailureCode(errno, destination);
    }
    uint64_t copied = 0;
    // In the kernel, as Windows copies and as cp does; the loop below takes
    // over where the file systems cannot.
    bool byHand = false;
    while (code == 0) {
        ssize_t done = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0 && copied == 0 &&
            (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            byHand = true;
            break;
        }
        if (done <= 0) {
            code = done < 0 ? SimErrnoToWindows(errno) : 0;
            break;
        }
        copied += (uint64_t)done;
    }
    char chunk[65536];
    while (code == 0 && byHand) {
        ssize_t got = read(in, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            code = got < 0 ? SimErrnoToWindows(errno) : 0;
            break;
        }
        if (!WriteAll(out, chunk, (size_t)got)) {
            code = SimErrnoToWindows(errno);
            break;
        }
        copied += (uint64_t)got;
    }
    if (in >= 0) {
        close(in);
    }
    if (out >= 0) {
        // The copy takes the source's attributes, read-only among them.
        if (code == 0) {
            fchmod(out, sourceStatus.st_mode & 07777);
        }
        if (close(out) != 0 && code == 0) {
            code = SimErrnoToWindows(errno);
        }
        if (code != 0) {
            unlink(destination.c_str());
        }
    }
    g_simBytesWritten += copied;
    if (code != 0) {
        SetLastError(code);
        return FALSE;
    }
    return TRUE;
}
