// The home path arithmetic on any path, mount directory and buffer size:
// nothing is written past the buffer, a result that fits is exactly the one
// an independent rendering gives, and one that does not is that rendering
// cut, still terminated.

#include "fuzz/fuzz_support.h"
#include "home/home.h"
#include "home/home_paths.h"

namespace {

std::string PosixForm(const std::string& path) {
    std::string out = path;
    std::replace(out.begin(), out.end(), '\\', '/');
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        out.replace(0, 2, std::string("/cygdrive/") + path[0]);
    }
    return out;
}

// Folded for comparing paths: one separator, ASCII letters in lower case.
std::string FoldPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return FoldAscii(path);
}

std::string UnderHome(const std::string& path, const std::string& mount) {
    const size_t n = mount.size();
    bool inside = FoldPath(path.substr(0, n)) == FoldPath(mount) &&
                  (path.size() == n || path[n] == '\\' || path[n] == '/');
    return inside ? "/home" + path.substr(n) : path;
}

// Runs one bounded operation into a heap buffer of exactly `size` bytes (so
// that a write past it is caught) and holds it to `want`.
template <typename Operation>
void Check(const char* what, size_t size, const std::string& want, Operation operation) {
    std::unique_ptr<char[]> buffer(new char[size + 1]);
    buffer[size] = 'Z';  // size 0: nothing may be written at all
    bool fit = operation(buffer.get(), size);
    std::string got(buffer.get(), size == 0 ? 0 : strnlen(buffer.get(), size));
    FUZZ_CHECK(buffer[size] == 'Z' && got.size() < std::max<size_t>(size, 1), "%s: no terminator",
               what);
    FUZZ_CHECK(fit == (want.size() < size) && got == want.substr(0, size ? size - 1 : 0),
               "%s: got '%s' (fit %d), want '%s' in %zu bytes", what, got.c_str(), fit,
               want.c_str(), size);
}

}  // namespace

// Two bytes of buffer size, then the path, a NUL and the mount directory.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const size_t bufferSize = (data[0] | (data[1] << 8)) % 600;
    const std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string path = rest.c_str();
    const std::string mount =
        path.size() == rest.size() ? "C:\\cygwin\\home" : rest.c_str() + path.size() + 1;
    std::string bare = mount.substr(0, mount.find_last_not_of("\\/") + 1);

    Check("ToPosixPath", bufferSize, PosixForm(path),
          [&](char* out, size_t n) { return ToPosixPath(path.c_str(), out, n); });
    Check("RewriteUnderHome", bufferSize, UnderHome(path, bare), [&](char* out, size_t n) {
        return RewriteUnderHome(path.c_str(), mount.c_str(), out, n);
    });
    Check("JoinFallbackDirectory", bufferSize, bare + "\\tarnwick",
          [&](char* out, size_t n) { return JoinFallbackDirectory(mount.c_str(), out, n); });
    return 0;
}
