// What Windows shows of acctmap.exe before it runs, read through Wine's
// version and resource functions: its version resource and its manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Shipping, VersionResourceAndManifest) {
    DWORD size = GetFileVersionInfoSizeA(ACCTMAP_EXE_PATH, NULL);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(ACCTMAP_EXE_PATH, 0, size, info.data()));
    const auto text = [&](const std::string& name) {
        char* value = NULL;
        UINT length = 0;
        return VerQueryValueA(info.data(), ("\\StringFileInfo\\040904B0\\" + name).c_str(),
                              reinterpret_cast<void**>(&value), &length)
                   ? std::string(value)
                   : std::string("<none>");
    };
    EXPECT_EQ(text("ProductName"), "acctmap");
    EXPECT_EQ(text("ProductVersion"), ACCTMAP_VERSION);
    EXPECT_EQ(text("FileVersion"), ACCTMAP_VERSION);
    EXPECT_NE(text("FileDescription").find("passwd"), std::string::npos);
    EXPECT_NE(text("CompanyName"), "<none>");
    EXPECT_NE(text("LegalCopyright"), "<none>");
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                  std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                  std::to_string(HIWORD(fixed->dwFileVersionLS)),
              ACCTMAP_VERSION);
#ifdef _WIN64
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    const char* architecture = "processorArchitecture=\"amd64\"";
#else
    // The 32-bit exe serves the Windows 95 family too.
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    const char* architecture = "processorArchitecture=\"x86\"";
#endif

    HMODULE exe = LoadLibraryExA(ACCTMAP_EXE_PATH, NULL,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr) << GetLastError();
    HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(exe, found))),
                               SizeofResource(exe, found));
    FreeLibrary(exe);
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find(architecture), std::string::npos) << manifest;
}

}  // namespace
