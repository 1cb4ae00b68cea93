// The one folder walker of the file directives, and the paths it builds.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "directives/files/files.h"
#include "util/disk_file.h"
#include "util/handles.h"
#include "util/native_view.h"
#include "util/path_forms.h"
#include "util/wildcard.h"

namespace {

const wchar_t kAnyName[] = L"*";

bool IsDotEntry(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

bool IsFolder(const WIN32_FIND_DATAW& entry) { return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

FoundEntry MakeEntry(const WIN32_FIND_DATAW& data, const std::wstring& openFolder, const WalkOptions& options) {
    return FoundEntry{data.cFileName,         ChildPath(openFolder, data.cFileName),
                      data.dwFileAttributes,  data.ftCreationTime,
                      data.ftLastWriteTime,   (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                      options.enterRule(data)};
}

bool PassesDateFilter(const FoundEntry& file, const SYSTEMTIME* reference) {
    return reference == nullptr || PassesLocalDateFilter(file.created, file.written, *reference);
}

// Whether the program's own matcher returns exactly what an enumeration with `pattern` would, so
// that the pattern can be applied to the one enumeration with "*" instead of having its own.
bool IsMatchedHere(const wchar_t* pattern) {
    if (pattern == nullptr || pattern[0] == L'\0') return false;
    const std::wstring text(pattern);
    const bool control = std::any_of(text.begin(), text.end(), [](wchar_t c) { return c < L' '; });
    return !control && text.find_first_of(L"\\/:") == std::wstring::npos &&
           text.find_first_not_of(L' ') != std::wstring::npos && IsPlainFindPattern(text);
}

bool Matches(const wchar_t* pattern, const WIN32_FIND_DATAW& data) {
    return MatchesFindPattern(pattern, data.cFileName, data.cAlternateFileName);
}

// Calls `take` for every entry of `openFolder` matching `pattern` (the platform matches * and ?
// ignoring case); `foldersOnly` is a hint that files are not wanted. `shortNames` fills in
// cAlternateFileName, which the program's own matching needs.
template <typename Take>
void Enumerate(const std::wstring& openFolder, const wchar_t* pattern, bool foldersOnly, Take take,
               bool shortNames = false) {
    WIN32_FIND_DATAW data;
    NoteOpen();
    FindHandle find(FindFirstFileExW(
        ChildPath(openFolder, pattern).c_str(), shortNames ? FindExInfoStandard : FindExInfoBasic, &data,
        foldersOnly ? FindExSearchLimitToDirectories : FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return;
    do {
        take(data);
    } while (FindNextFileW(find.get(), &data));
}

void SortByName(std::vector<FoundEntry>& entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const FoundEntry& a, const FoundEntry& b) {
        return _tcscmpi(a.name.c_str(), b.name.c_str()) < 0;
    });
}

// A folder being walked: the sub-folders still to come, each reported before it is entered when
// `report` is set. Its identity is read only when a reparse point below it is about to be entered.
struct Frame {
    std::wstring folder;
    std::wstring openFolder;
    unsigned depth;
    std::vector<FoundEntry> pending;
    bool report;
    size_t next = 0;
    enum class Identity { kUnread, kKnown, kUnknown } identityState = Identity::kUnread;
    FileIdentity identity = {};
};

// A reparse point may lead back to a folder the walk is inside: it is entered only when its identity
// and that of every folder on the current path are known and differ.
bool IsNewOnPath(const std::wstring& openPath, std::vector<Frame>& path) {
    FileIdentity candidate;
    if (!ReadFileIdentity(openPath.c_str(), candidate)) return false;
    for (Frame& frame : path) {
        if (frame.identityState == Frame::Identity::kUnread) {
            frame.identityState = ReadFileIdentity(frame.openFolder.c_str(), frame.identity)
                                      ? Frame::Identity::kKnown
                                      : Frame::Identity::kUnknown;
        }
        if (frame.identityState == Frame::Identity::kUnknown || frame.identity == candidate) return false;
    }
    return true;
}

// Enumerates one folder: reports its files and, when a pattern selects them, its folders; returns
// its frame with the sub-folders still to report or enter.
Frame OpenFolder(std::wstring folder, std::wstring openFolder, unsigned depth, const WalkOptions& options,
                 const WalkVisitor& visit) {
    std::vector<FoundEntry> files;
    std::vector<FoundEntry> matches;  // folders a pattern selects
    std::vector<FoundEntry> folders;  // every sub-folder, or only those to enter
    const bool filesHere = options.files && (depth > 0 || options.rootFiles);
    const bool anyFile = filesHere && options.filePattern == nullptr;
    const bool anyFolder = options.folders && options.folderPattern == nullptr;
    const bool anyEnumeration = anyFile || anyFolder || options.recursive;
    // A plain pattern is matched here on the one enumeration with "*" that the walk makes anyway;
    // any other gets an enumeration of its own, matched by the platform.
    const bool fileMatchHere = filesHere && anyEnumeration && IsMatchedHere(options.filePattern);
    const bool folderMatchHere = options.folders && anyEnumeration && IsMatchedHere(options.folderPattern);
    if (filesHere && options.filePattern != nullptr && !fileMatchHere) {
        Enumerate(openFolder, options.filePattern, false, [&](const WIN32_FIND_DATAW& data) {
            if (!IsFolder(data)) files.push_back(MakeEntry(data, openFolder, options));
        });
    }
    if (options.folders && options.folderPattern != nullptr && !folderMatchHere) {
        Enumerate(openFolder, options.folderPattern, true, [&](const WIN32_FIND_DATAW& data) {
            if (IsFolder(data) && !IsDotEntry(data.cFileName)) matches.push_back(MakeEntry(data, openFolder, options));
        });
    }
    if (anyEnumeration) {
        const bool wantFiles = anyFile || fileMatchHere;
        Enumerate(
            openFolder, kAnyName, !wantFiles,
            [&](const WIN32_FIND_DATAW& data) {
                if (!IsFolder(data)) {
                    if (anyFile || (fileMatchHere && Matches(options.filePattern, data)))
                        files.push_back(MakeEntry(data, openFolder, options));
                    return;
                }
                if (IsDotEntry(data.cFileName)) return;
                if (folderMatchHere && Matches(options.folderPattern, data))
                    matches.push_back(MakeEntry(data, openFolder, options));
                if (anyFolder || (options.recursive && options.enterRule(data)))
                    folders.push_back(MakeEntry(data, openFolder, options));
            },
            fileMatchHere || folderMatchHere);
    }
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&](const FoundEntry& file) { return !PassesDateFilter(file, options.reference); }),
                files.end());
    if (options.sorted) {
        SortByName(files);
        SortByName(matches);
        SortByName(folders);
    }
    for (const FoundEntry& file : files) visit(folder, file, depth);
    for (const FoundEntry& match : matches) visit(folder, match, depth);
    return Frame{std::move(folder), std::move(openFolder), depth, std::move(folders), anyFolder};
}

}  // namespace

bool IsReparseTagToEnter(DWORD tag) {
    // Windows marks folders that stand for another place (junctions, mount points, symbolic links,
    // WSL links) as name surrogates; the other Microsoft tags are the file system's own storage
    // (OneDrive and cloud placeholders, deduplication, WOF, container layers) over a real folder,
    // entered like any folder. A tag not known here, and Wine's links (tag 0), count as links.
    static const DWORD kKnownTags[] = {
        0xA0000003,  // MOUNT_POINT (also junctions)
        0xC0000004,  // HSM
        0x80000005,  // DRIVE_EXTENDER
        0x80000006,  // HSM2
        0x80000007,  // SIS
        0x80000008,  // WIM
        0x80000009,  // CSV
        0x8000000A,  // DFS
        0x8000000B,  // FILTER_MANAGER
        0xA000000C,  // SYMLINK
        0xA0000010,  // IIS_CACHE
        0x80000012,  // DFSR
        0x80000013,  // DEDUP
        0x80000014,  // NFS
        0x80000015,  // FILE_PLACEHOLDER
        0x80000017,  // WOF
        0x80000018,  // WCI
        0x90001018,  // WCI_1
        0xA0000019,  // GLOBAL_REPARSE
        0x8000001B,  // APPEXECLINK
        0x9000001C,  // PROJFS
        0xA000001D,  // LX_SYMLINK
        0x8000001E,  // STORAGE_SYNC
        0xA000001F,  // WCI_TOMBSTONE
        0x80000020,  // UNHANDLED
        0x80000021,  // ONEDRIVE
        0xA0000022,  // PROJFS_TOMBSTONE
        0x80000023,  // AF_UNIX
        0x80000024,  // LX_FIFO
        0x80000025,  // LX_CHR
        0x80000026,  // LX_BLK
        0xA0000027,  // WCI_LINK
        0xA0001027,  // WCI_LINK_1
        0x90000027,  // STORAGE_SYNC_FOLDER
        0xA0000028,  // DATALESS_CIM
    };
    // CLOUD, CLOUD_1 .. CLOUD_F: 0x9000001A with the provider's number in bits 12-15.
    const bool known = (tag & ~0x0000F000u) == 0x9000001A ||
                       std::find(std::begin(kKnownTags), std::end(kKnownTags), tag) != std::end(kKnownTags);
    return known && !IsReparseTagNameSurrogate(tag);
}

bool IsFolderToEnter(const WIN32_FIND_DATAW& entry) {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || IsDotEntry(entry.cFileName)) return false;
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 || IsReparseTagToEnter(entry.dwReserved0);
}

std::wstring JoinPath(const std::wstring& folder, const wchar_t* name) {
    std::wstring path;
    path.reserve(folder.size() + 1 + wcslen(name));
    path += folder;
    path += L'\\';
    path += name;
    return path;
}

std::wstring ChildPath(const std::wstring& folder, const wchar_t* name) {
    if (!folder.empty() && folder.back() == L'\\') return folder + name;
    return JoinPath(folder, name);
}

void WalkFolder(const std::wstring& root, const WalkOptions& options, const WalkVisitor& visit) {
    WalkFolder(root, FolderOpenPath(root), options, visit);
}

void WalkFolder(const std::wstring& root, const std::wstring& openRoot, const WalkOptions& options,
                const WalkVisitor& visit) {
    // A stack of its own instead of recursion: the call depth stays the same however deep the tree.
    std::vector<Frame> stack;
    stack.push_back(OpenFolder(root, openRoot, 0, options, visit));
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.pending.size()) {
            stack.pop_back();
            continue;
        }
        const FoundEntry& folder = top.pending[top.next++];
        if (top.report) visit(top.folder, folder, top.depth);
        if (!options.recursive || !folder.enter) continue;
        if ((folder.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !IsNewOnPath(folder.openPath, stack)) continue;
        Frame child =
            OpenFolder(ChildPath(top.folder, folder.name.c_str()), folder.openPath, top.depth + 1, options, visit);
        stack.push_back(std::move(child));  // `top` and `folder` are not used past this point
    }
}
