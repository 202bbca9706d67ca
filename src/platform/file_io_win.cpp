// The passwd filter's I/O on Win32 file handles: the system's own calls,
// unbuffered, since the filter gathers its own big blocks.
#include "platform/platform.h"

// ReadFile and WriteFile count in DWORDs: one call takes at most 1 GiB.
static DWORD CallSize(size_t size) {
    const size_t largest = 0x40000000u;
    return static_cast<DWORD>(size < largest ? size : largest);
}

uint32_t ReadHandle(void* handle, char* buffer, size_t size, size_t* got) {
    DWORD read = 0;
    *got = 0;
    if (!ReadFile(handle, buffer, CallSize(size), &read, NULL)) {
        return GetLastError();
    }
    *got = read;
    return 0;
}

uint32_t SeekHandle(void* handle, uint64_t offset) {
    LONG high = static_cast<LONG>(offset >> 32);
    SetLastError(0);
    DWORD low = SetFilePointer(handle, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return low == INVALID_SET_FILE_POINTER ? GetLastError() : 0;
}

uint32_t WriteHandle(void* handle, const char* data, size_t size) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, data, CallSize(size), &written, NULL)) {
            return GetLastError();
        }
        // A write that takes nothing would be asked again for ever.
        if (written == 0) {
            return ERROR_WRITE_FAULT;
        }
        data += written;
        size -= written;
    }
    return 0;
}
