// What Windows shows of acctmap.exe before it runs: its version resource and
// its manifest, read through Wine's version and resource functions.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string VersionText(const std::vector<char>& info, const char* name) {
    char* value = NULL;
    UINT length = 0;
    std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
        length == 0) {
        return "";
    }
    return std::string(value);
}

TEST(Shipping, VersionResourceNamesTheProductAndItsVersion) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(ACCTMAP_EXE_PATH, &handle);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(ACCTMAP_EXE_PATH, 0, size, info.data()));
    EXPECT_EQ(VersionText(info, "ProductName"), "acctmap");
    EXPECT_EQ(VersionText(info, "ProductVersion"), ACCTMAP_VERSION);
    EXPECT_EQ(VersionText(info, "FileVersion"), ACCTMAP_VERSION);
    EXPECT_EQ(VersionText(info, "OriginalFilename"), "acctmap.exe");
    EXPECT_NE(VersionText(info, "FileDescription").find("passwd"), std::string::npos);

    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    char version[64];
    snprintf(version, sizeof version, "%d.%d.%d", HIWORD(fixed->dwFileVersionMS),
             LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(std::string(version), ACCTMAP_VERSION);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST(Shipping, ManifestAsksForNoElevation) {
    HMODULE exe = LoadLibraryExA(ACCTMAP_EXE_PATH, NULL,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr) << GetLastError();
    HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(exe, found)));
    std::string manifest(data, SizeofResource(exe, found));
    FreeLibrary(exe);
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos)
        << manifest;
}

}  // namespace
