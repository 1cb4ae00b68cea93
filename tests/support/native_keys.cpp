#include "tests/support/native_keys.h"

#include <gtest/gtest.h>

#include "util/handles.h"
#include "util/native_registry.h"
#include "util/registry.h"

NativeKeys::~NativeKeys() {
    // Links first, newest first: each is opened as the link itself, never what it points at.
    for (auto link = links_.rbegin(); link != links_.rend(); ++link) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(key_.key(), link->c_str(), REG_OPTION_OPEN_LINK, DELETE | KEY_READ, &opened) !=
            ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot open the link " << Narrow(*link);
            continue;
        }
        if (Native().deleteKey(opened) != 0) ADD_FAILURE() << "cannot delete the link " << Narrow(*link);
        RegCloseKey(opened);
    }
    for (auto key = created_.rbegin(); key != created_.rend(); ++key) {
        if (Native().deleteKey(*key) != 0) ADD_FAILURE() << "cannot delete a key made with a counted name";
        RegCloseKey(*key);
    }
}

void NativeKeys::Link(const std::wstring& linkPath, const std::wstring& targetPath) {
    KeyReader reader;
    std::wstring target = ResolvedKeyName(key_.key(), reader);
    ASSERT_FALSE(target.empty());
    if (!targetPath.empty()) target += L"\\" + targetPath;
    HKEY link = nullptr;
    ASSERT_EQ(RegCreateKeyExW(key_.key(), linkPath.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr),
              ERROR_SUCCESS)
        << Narrow(linkPath);
    links_.push_back(linkPath);
    LONG status = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                                 static_cast<DWORD>(target.size() * sizeof(wchar_t)));
    RegCloseKey(link);
    ASSERT_EQ(status, ERROR_SUCCESS) << Narrow(linkPath);
}

HKEY NativeKeys::CreateKey(HKEY parent, const std::wstring& name) {
    NativeName counted{};
    EXPECT_TRUE(MakeNativeName(counted, name.data(), name.size()));
    NativeAttributes attributes = MakeNativeAttributes(parent, &counted);
    HANDLE created = nullptr;
    LONG status = Native().createKey(&created, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr);
    EXPECT_EQ(status, 0) << "cannot create " << Narrow(VisibleName(name));
    if (status != 0) return nullptr;
    created_.push_back(static_cast<HKEY>(created));
    return static_cast<HKEY>(created);
}

HKEY NativeKeys::CreateKey(const std::wstring& parentPath, const std::wstring& name) {
    if (parentPath.empty()) return CreateKey(key_.key(), name);
    RegKey parent;
    EXPECT_EQ(RegOpenKeyExW(key_.key(), parentPath.c_str(), 0, KEY_ALL_ACCESS, parent.put()), ERROR_SUCCESS);
    return parent ? CreateKey(parent.get(), name) : nullptr;
}

void NativeKeys::SetValue(HKEY key, const std::wstring& name, DWORD type, const void* data, DWORD size) {
    NativeName counted{};
    ASSERT_TRUE(MakeNativeName(counted, name.data(), name.size()));
    ASSERT_EQ(Native().setValueKey(key, &counted, 0, type, data, size), 0) << Narrow(VisibleName(name));
}

void NativeKeys::SetString(HKEY key, const std::wstring& name, const std::wstring& text) {
    SetValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void MakeLinkLoops(TestKey& key, NativeKeys& native, const std::wstring& mark) {
    key.SetString(L"v", mark + L"top");
    key.SetString(L"a", mark + L"1", L"A");
    key.SetString(L"b", mark + L"2", L"B");
    key.SetString(L"c", mark + L"3", L"C");
    key.CreateSubKey(L"D\\X");
    key.CreateSubKey(L"E\\Y");
    native.Link(L"A\\Up", L"");
    native.Link(L"A\\Self", L"A");
    native.Link(L"B\\ToC", L"C");
    native.Link(L"C\\ToB", L"B");
    native.Link(L"D\\X\\ToE", L"E");
    native.Link(L"E\\Y\\ToD", L"D");
    native.Link(L"Loop", L"Loop");
}

void MakeLinkWeb(TestKey& key, NativeKeys& native, int levels, int leaves) {
    for (int level = 0; level < levels; ++level) {
        const std::wstring name = L"K" + std::to_wstring(level);
        key.SetString(L"v", L"qf30web " + name, name);
        for (int leaf = 0; leaf < leaves; ++leaf) key.CreateSubKey(name + L"\\L" + std::to_wstring(leaf));
    }
    for (int level = 0; level + 1 < levels; ++level) {
        const std::wstring name = L"K" + std::to_wstring(level);
        const std::wstring next = L"K" + std::to_wstring(level + 1);
        native.Link(name + L"\\a", next);
        native.Link(name + L"\\b", next);
    }
}

std::wstring RunSectionInConsole(const std::wstring& context, const std::wstring& line, bool& finished,
                                 const std::wstring& options) {
    ScratchFolder folder;
    const std::wstring report = folder / L"report.txt";
    const ProcessResult run =
        RunCliScript(folder, L":" + context + L"\r\n" + line + L"\r\n", report, options, Overrun::Expected);
    finished = !run.timedOut;
    if (!finished) return {};
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    return SectionOf(context, ReportBody(ReadUtf16File(report)));
}
