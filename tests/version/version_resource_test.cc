// The version resources of RECMETER.EXE and w3btrv7.dll, read as Explorer
// reads them. Both binaries sit beside this test program.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string BesideThisProgram(const char* name) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + name;
}

std::string Text(const std::vector<char>& info, const char* field) {
    std::string query = std::string("\\StringFileInfo\\040904B0\\") + field;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), query.c_str(), &value, &length) || length == 0) return "(none)";
    return std::string(static_cast<const char*>(value), length - 1);
}

TEST(VersionResource, NamesTheProductAndTheProjectVersion) {
    const struct {
        const char* file;
        DWORD fileType;
        const char* description;
    } cases[] = {
        {"RECMETER.EXE", VFT_APP, "Reports the record lengths of a record-manager data file"},
        {"w3btrv7.dll", VFT_DLL, "Recmeter's local engine, for files made by recfile"},
    };
    for (const auto& c : cases) {
        const std::string path = BesideThisProgram(c.file);
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_NE(size, 0u) << path << " has no version resource";
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data())) << path;

        void* fixed = nullptr;
        UINT fixedLength = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &fixed, &fixedLength)) << path;
        const auto* numbers = static_cast<const VS_FIXEDFILEINFO*>(fixed);
        EXPECT_EQ(numbers->dwFileVersionMS, static_cast<DWORD>(RECMETER_VERSION_MAJOR << 16 |
                                                                RECMETER_VERSION_MINOR)) << c.file;
        EXPECT_EQ(numbers->dwFileVersionLS, 0u) << c.file;
        EXPECT_EQ(numbers->dwProductVersionMS, numbers->dwFileVersionMS) << c.file;
        EXPECT_EQ(numbers->dwFileType, c.fileType) << c.file;

        EXPECT_EQ(Text(info, "FileVersion"), RECMETER_FILE_VERSION) << c.file;
        EXPECT_EQ(Text(info, "ProductVersion"), RECMETER_PRODUCT_VERSION) << c.file;
        EXPECT_EQ(Text(info, "ProductName"), "Recmeter") << c.file;
        EXPECT_EQ(Text(info, "FileDescription"), c.description) << c.file;
        EXPECT_EQ(Text(info, "OriginalFilename"), c.file) << c.file;
    }
}

}  // namespace
