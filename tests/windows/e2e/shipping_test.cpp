// What Windows shows of acctmap.exe before it runs, read through Wine's
// version and resource functions: its version resource and its manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Shipping, VersionResourceAndManifest) {
    std::vector<char> info(GetFileVersionInfoSizeA(ACCTMAP_EXE_PATH, NULL));
    ASSERT_TRUE(GetFileVersionInfoA(ACCTMAP_EXE_PATH, 0, info.size(), info.data()));
    std::string texts;
    for (const char* name : {"ProductName", "ProductVersion", "FileVersion", "CompanyName"}) {
        char* value = NULL;
        UINT length = 0;
        VerQueryValueA(info.data(), (std::string("\\StringFileInfo\\040904B0\\") + name).c_str(),
                       reinterpret_cast<void**>(&value), &length);
        texts += std::string(value != NULL ? value : "<none>") + "|";
    }
    EXPECT_EQ(texts, "acctmap|" ACCTMAP_VERSION "|" ACCTMAP_VERSION "|The acctmap developers|");
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    HMODULE exe = LoadLibraryExA(ACCTMAP_EXE_PATH, NULL, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(exe, found))),
                               SizeofResource(exe, found));
    FreeLibrary(exe);
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
#ifdef _WIN64
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_NE(manifest.find("processorArchitecture=\"amd64\""), std::string::npos) << manifest;
#else
    // The 32-bit exe serves the Windows 95 family too.
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_NE(manifest.find("processorArchitecture=\"x86\""), std::string::npos) << manifest;
#endif
}
