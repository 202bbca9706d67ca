// The home path arithmetic on any path, mount directory and buffer size:
// nothing is written past the buffer, a result that fits is exactly the one
// an independent rendering gives, and one that does not is that rendering
// cut, still terminated.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "home/home.h"
#include "home/home_paths.h"

namespace {

bool Separator(char c) {
    return c == '\\' || c == '/';
}

char FoldPath(char c) {
    return c == '/' ? '\\' : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string PosixForm(const std::string& path) {
    std::string out;
    size_t from = 0;
    if (path.size() >= 2 &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
        path[1] == ':') {
        out = std::string("/cygdrive/") + path[0];
        from = 2;
    }
    for (size_t i = from; i < path.size(); ++i) {
        out += path[i] == '\\' ? '/' : path[i];
    }
    return out;
}

std::string MountWithoutSeparators(std::string mount) {
    while (!mount.empty() && Separator(mount.back())) {
        mount.pop_back();
    }
    return mount;
}

std::string UnderHome(const std::string& path, const std::string& mountDirectory) {
    std::string mount = MountWithoutSeparators(mountDirectory);
    if (path.size() < mount.size()) {
        return path;
    }
    for (size_t i = 0; i < mount.size(); ++i) {
        if (FoldPath(path[i]) != FoldPath(mount[i])) {
            return path;
        }
    }
    if (path.size() > mount.size() && !Separator(path[mount.size()])) {
        return path;
    }
    return "/home" + path.substr(mount.size());
}

// Runs one bounded operation into a buffer of exactly `size` bytes (heap,
// so that a write past it is caught) and holds it to `want`.
template <typename Operation>
void Check(const char* what, size_t size, const std::string& want, Operation operation) {
    std::unique_ptr<char[]> buffer(new char[size + 1]);
    buffer[size] = 'Z';  // size 0: nothing may be written at all
    bool fit = operation(buffer.get(), size);
    if (size == 0) {
        FUZZ_CHECK(!fit && buffer[0] == 'Z', "%s: wrote into an empty buffer", what);
        return;
    }
    std::string got(buffer.get(), strnlen(buffer.get(), size));
    FUZZ_CHECK(got.size() < size, "%s: no terminator within %zu bytes", what, size);
    if (want.size() < size) {
        FUZZ_CHECK(fit && got == want, "%s: got '%s', want '%s'", what, got.c_str(), want.c_str());
    } else {
        FUZZ_CHECK(!fit && got == want.substr(0, size - 1), "%s: cut wrongly to '%s' (%zu bytes)",
                   what, got.c_str(), size);
    }
}

}  // namespace

// Two bytes of buffer size, then the path, a NUL and the mount directory.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const size_t bufferSize = (data[0] | (data[1] << 8)) % 600;
    std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
    size_t nul = rest.find('\0');
    const std::string path = rest.substr(0, nul);
    std::string mount = nul == std::string::npos ? "C:\\cygwin\\home" : rest.substr(nul + 1);
    mount = mount.substr(0, mount.find('\0'));

    Check("ToPosixPath", bufferSize, PosixForm(path),
          [&](char* out, size_t n) { return ToPosixPath(path.c_str(), out, n); });
    const std::string underHome = UnderHome(path, mount);
    Check("RewriteUnderHome", bufferSize, underHome, [&](char* out, size_t n) {
        return RewriteUnderHome(path.c_str(), mount.c_str(), out, n);
    });
    Check("JoinFallbackDirectory", bufferSize, MountWithoutSeparators(mount) + "\\tarnwick",
          [&](char* out, size_t n) { return JoinFallbackDirectory(mount.c_str(), out, n); });
    // As the home stage chains them: a path under the mount reaches the
    // entry under "/home", with slashes only.
    Check("both", bufferSize, PosixForm(underHome), [&](char* out, size_t n) {
        std::unique_ptr<char[]> rewritten(new char[path.size() + 8]);
        return RewriteUnderHome(path.c_str(), mount.c_str(), rewritten.get(), path.size() + 8) &&
               ToPosixPath(rewritten.get(), out, n);
    });
    return 0;
}
