// The passwd filter's I/O over memory, for the host tables and the fuzz
// target: the old file read from a string in pieces of at most `step` bytes,
// the new one appended to a string.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "passwd/filter.h"

struct MemorySource {
    const std::string* bytes;
    size_t at;
    size_t step;
};

inline uint32_t ReadMemory(void* context, char* buffer, size_t size, size_t* got) {
    MemorySource* source = static_cast<MemorySource*>(context);
    *got = std::min({size, source->step, source->bytes->size() - source->at});
    memcpy(buffer, source->bytes->data() + source->at, *got);
    source->at += *got;
    return 0;
}

// A seek past the end fails as Windows' invalid parameter.
inline uint32_t SeekMemory(void* context, uint64_t offset) {
    MemorySource* source = static_cast<MemorySource*>(context);
    source->at = std::min<uint64_t>(offset, source->bytes->size());
    return offset <= source->bytes->size() ? 0 : 87;
}

inline uint32_t AppendMemory(void* context, const char* data, size_t size) {
    static_cast<std::string*>(context)->append(data, size);
    return 0;
}

inline FilterIo MemoryIo(MemorySource* source, std::string* written) {
    return {source, written, ReadMemory, SeekMemory, AppendMemory};
}
