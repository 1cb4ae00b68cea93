// The resources the window and the shell rely on, read from the built executables as data.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

#include "resources/resource.h"
#include "tests/support/test_support.h"

namespace {

// The built executables whose resources are checked: the x64 build, and the x86 one when it was built
// beside it (its code cannot run here, but its resources can be read).
std::vector<std::wstring> Executables() {
    std::wstring x64 = ExecutableFolder() + L"\\quillfen.exe";
    std::wstring x86 = ExecutableFolder() + L"\\..\\x86\\quillfen.exe";
    std::vector<std::wstring> found = {x64};
    if (GetFileAttributesW(x86.c_str()) != INVALID_FILE_ATTRIBUTES) found.push_back(x86);
    return found;
}

class ResourceFile {
public:
    explicit ResourceFile(const std::wstring& path)
        : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {
        EXPECT_NE(module_, nullptr) << Narrow(path) << ": error " << GetLastError();
    }
    ~ResourceFile() {
        if (module_) FreeLibrary(module_);
    }
    HMODULE get() const { return module_; }
    // The raw bytes of a resource, empty when missing.
    std::string Bytes(const wchar_t* name, const wchar_t* type) const {
        HRSRC found = FindResourceW(module_, name, type);
        if (!found) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const char* data = static_cast<const char*>(LockResource(loaded));
        return data ? std::string(data, SizeofResource(module_, found)) : std::string();
    }

private:
    HMODULE module_;
};

std::wstring MenuText(HMENU menu, UINT position) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
    return text;
}

TEST(Resources, MenuHasFileWithLoadScriptSeparatorAndExit) {
    for (const std::wstring& exe : Executables()) {
        SCOPED_TRACE(Narrow(exe));
        ResourceFile file(exe);
        HMENU menu = LoadMenuW(file.get(), MAKEINTRESOURCEW(IDR_MAIN_MENU));
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(GetMenuItemCount(menu), 1);
        EXPECT_EQ(MenuText(menu, 0), L"&File");
        HMENU file_menu = GetSubMenu(menu, 0);
        ASSERT_NE(file_menu, nullptr);
        ASSERT_EQ(GetMenuItemCount(file_menu), 3);
        EXPECT_EQ(MenuText(file_menu, 0), L"Load &Script...");
        EXPECT_EQ(GetMenuItemID(file_menu, 0), static_cast<UINT>(IDM_LOAD_SCRIPT));
        MENUITEMINFOW separator = {};
        separator.cbSize = sizeof separator;
        separator.fMask = MIIM_FTYPE;
        ASSERT_TRUE(GetMenuItemInfoW(file_menu, 1, TRUE, &separator));
        EXPECT_NE(separator.fType & MFT_SEPARATOR, 0u);
        EXPECT_EQ(MenuText(file_menu, 2), L"E&xit");
        EXPECT_EQ(GetMenuItemID(file_menu, 2), static_cast<UINT>(IDC_EXIT));
        DestroyMenu(menu);
    }
}

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

TEST(Resources, IconGroupAHoldsSixImagesIn16And256Colours) {
    for (const std::wstring& exe : Executables()) {
        SCOPED_TRACE(Narrow(exe));
        ResourceFile file(exe);
        std::string group = file.Bytes(L"A", MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
        ASSERT_GE(group.size(), 6u);
        WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
        ASSERT_EQ(count, 6);
        ASSERT_EQ(group.size(), 6u + count * sizeof(GroupEntry));
        std::set<std::tuple<int, int>> seen;  // (size, bits per pixel)
        for (WORD i = 0; i < count; ++i) {
            GroupEntry entry;
            memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
            EXPECT_EQ(entry.width, entry.height);
            EXPECT_EQ(entry.colorCount, entry.bitCount == 4 ? 16 : 0);
            seen.insert({entry.width, entry.bitCount});
            // The image itself agrees with its directory entry.
            std::string image = file.Bytes(MAKEINTRESOURCEW(entry.id), MAKEINTRESOURCEW(3));  // RT_ICON
            ASSERT_EQ(image.size(), entry.bytesInRes);
            BITMAPINFOHEADER header;
            memcpy(&header, image.data(), sizeof header);
            EXPECT_EQ(header.biWidth, entry.width);
            EXPECT_EQ(header.biHeight, entry.width * 2);
            EXPECT_EQ(header.biBitCount, entry.bitCount);
        }
        std::set<std::tuple<int, int>> expected = {{16, 4}, {16, 8}, {32, 4}, {32, 8}, {48, 4}, {48, 8}};
        EXPECT_EQ(seen, expected);
    }
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length)) return L"<missing>";
    return static_cast<const wchar_t*>(value);
}

TEST(Resources, VersionStringsSayOneZeroZeroOneWhileTheNumbersStayZero) {
    for (const std::wstring& exe : Executables()) {
        SCOPED_TRACE(Narrow(exe));
        DWORD size = GetFileVersionInfoSizeW(exe.c_str(), nullptr);
        ASSERT_GT(size, 0u);
        std::vector<BYTE> info(size);
        ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
        EXPECT_EQ(VersionString(info, L"FileVersion"), L"1, 0, 0, 1");
        EXPECT_EQ(VersionString(info, L"ProductVersion"), L"1, 0, 0, 1");

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, 0u);
        EXPECT_EQ(fixed->dwFileVersionLS, 0u);
        EXPECT_EQ(fixed->dwProductVersionMS, 0u);
        EXPECT_EQ(fixed->dwProductVersionLS, 0u);

        WORD* translation = nullptr;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                   &length));
        ASSERT_GE(length, 4u);
        EXPECT_EQ(translation[0], 0x0409);  // U.S. English
        EXPECT_EQ(translation[1], 1200);    // Unicode
    }
}

TEST(Resources, ManifestAsksForAdministratorAndCommonControlsSix) {
    for (const std::wstring& exe : Executables()) {
        SCOPED_TRACE(Narrow(exe));
        ResourceFile file(exe);
        std::string manifest = file.Bytes(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
        EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"requireAdministrator\""), std::string::npos);
        EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos)
            << manifest;
        EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
    }
}

// Per-monitor (v2) awareness, so that the window is told of each monitor's DPI; true/pm for the systems
// that only read the older element.
TEST(Resources, ManifestAsksForPerMonitorDpiAwareness) {
    for (const std::wstring& exe : Executables()) {
        SCOPED_TRACE(Narrow(exe));
        ResourceFile file(exe);
        std::string manifest = file.Bytes(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
        EXPECT_NE(manifest.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                                "PerMonitorV2, PerMonitor</dpiAwareness>"),
                  std::string::npos)
            << manifest;
        EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm"
                                "</dpiAware>"),
                  std::string::npos);
    }
}

// Both front ends may use paths beyond MAX_PATH where the machine allows them; the console one runs
// with the rights of whoever starts it.
TEST(Resources, BothManifestsDeclareLongPathAwareness) {
    std::vector<std::wstring> executables = Executables();
    for (const std::wstring& gui : Executables()) {
        executables.push_back(gui.substr(0, gui.size() - wcslen(L"quillfen.exe")) + L"quillfen-cli.exe");
    }
    for (const std::wstring& exe : executables) {
        SCOPED_TRACE(Narrow(exe));
        if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
            ADD_FAILURE() << "missing";
            continue;
        }
        ResourceFile file(exe);
        const std::string manifest = file.Bytes(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
        EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                                "true</longPathAware>"),
                  std::string::npos)
            << manifest;
        EXPECT_NE(manifest.find("<windowsSettings>"), std::string::npos) << manifest;
        if (exe.ends_with(L"quillfen-cli.exe")) {
            EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos) << manifest;
            EXPECT_NE(manifest.find("version=\"1.0.0.1\""), std::string::npos) << manifest;
        }
    }
}

}  // namespace
