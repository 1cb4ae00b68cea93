// The one folder walker of the file directives, and the paths it builds.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <memory>

#include "directives/files/files.h"
#include "util/disk_file.h"
#include "util/handles.h"
#include "util/native_files.h"
#include "util/native_view.h"
#include "util/path_forms.h"
#include "util/test_hooks.h"
#include "util/wildcard.h"

namespace {

const wchar_t kAnyName[] = L"*";

std::atomic<ListingFault> injectedFault{nullptr};

bool IsDotEntry(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

bool IsFolder(const WIN32_FIND_DATAW& entry) { return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// One entry of a listing: its find data, for the enter rule, and its whole name, which the find
// data's fixed-size field could cut.
struct Listed {
    WIN32_FIND_DATAW data;
    std::wstring name;
};

FoundEntry MakeEntry(const Listed& listed, const std::wstring& openFolder, const SharedFolder& parent,
                     const WalkOptions& options) {
    const WIN32_FIND_DATAW& data = listed.data;
    return FoundEntry{listed.name,
                      ChildPath(openFolder, listed.name.c_str()),
                      parent,
                      data.dwFileAttributes,
                      data.ftCreationTime,
                      data.ftLastWriteTime,
                      (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
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

bool Matches(const wchar_t* pattern, const Listed& entry) {
    return MatchesFindPattern(pattern, entry.name, entry.data.cAlternateFileName);
}

FILETIME AsFileTime(const LARGE_INTEGER& time) { return FILETIME{time.LowPart, static_cast<DWORD>(time.HighPart)}; }

// The find data of one record of a native listing, as FindFirstFileExW would fill it in.
Listed FromRecord(const unsigned char* record, size_t nameOffset, bool shortNames) {
    NativeDirRecord head;
    memcpy(&head, record, sizeof head);
    Listed listed = {};
    WIN32_FIND_DATAW& data = listed.data;
    data.dwFileAttributes = head.FileAttributes;
    data.ftCreationTime = AsFileTime(head.CreationTime);
    data.ftLastAccessTime = AsFileTime(head.LastAccessTime);
    data.ftLastWriteTime = AsFileTime(head.LastWriteTime);
    data.nFileSizeHigh = static_cast<DWORD>(head.EndOfFile.HighPart);
    data.nFileSizeLow = head.EndOfFile.LowPart;
    if (head.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) data.dwReserved0 = head.EaSize;
    listed.name.resize(head.FileNameLength / sizeof(wchar_t));
    memcpy(listed.name.data(), record + nameOffset, listed.name.size() * sizeof(wchar_t));
    wcsncpy(data.cFileName, listed.name.c_str(), MAX_PATH - 1);
    if (shortNames) {
        const size_t shortLength = std::min<size_t>(record[kBothDirShortLengthOffset] / sizeof(wchar_t), 12);
        memcpy(data.cAlternateFileName, record + kBothDirShortNameOffset, shortLength * sizeof(wchar_t));
    }
    return listed;
}

// Calls `take` for every entry of the open folder; `shortNames` asks for the short (8.3) names, which
// the program's own matching needs. The Win32 error the listing ended with: ERROR_NO_MORE_FILES at
// its end.
template <typename Take>
DWORD ListHandle(HANDLE folder, bool shortNames, Take take) {
    // As FIND_FIRST_EX_LARGE_FETCH asks; 8-byte aligned, as the records' times are.
    constexpr ULONG kBufferBytes = 64 * 1024;
    std::vector<ULONGLONG> buffer(kBufferBytes / sizeof(ULONGLONG));
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    const size_t nameOffset = shortNames ? kBothDirNameOffset : kFullDirNameOffset;
    for (bool first = true;; first = false) {
        NativeIoStatus io = {};
        const LONG status = NativeFileCalls().queryDirectory(
            folder, nullptr, nullptr, nullptr, &io, buffer.data(), kBufferBytes,
            shortNames ? kFileBothDirectoryInformation : kFileFullDirectoryInformation, FALSE, nullptr, first);
        if (status == kStatusNoMoreFiles || status == kStatusNoSuchFile) return ERROR_NO_MORE_FILES;
        if (status < 0) return NativeError(status);
        const size_t filled = std::min<size_t>(io.Information, kBufferBytes);
        if (filled == 0) return ERROR_NO_MORE_FILES;
        // Each record is checked to lie inside what was filled before it is read.
        for (size_t offset = 0; offset + nameOffset <= filled;) {
            NativeDirRecord head;
            memcpy(&head, bytes + offset, sizeof head);
            if (offset + nameOffset + head.FileNameLength > filled) return ERROR_INVALID_DATA;
            take(FromRecord(bytes + offset, nameOffset, shortNames));
            if (head.NextEntryOffset == 0) break;
            offset += head.NextEntryOffset;
        }
    }
}

// The same through FindFirstFileExW of `openFolder` with `pattern`, for the patterns the platform
// matches; `foldersOnly` is a hint that files are not wanted.
template <typename Take>
DWORD ListByPath(const std::wstring& openFolder, const wchar_t* pattern, bool foldersOnly, bool shortNames, Take take) {
    Listed listed = {};
    NoteOpen();
    FindHandle find(FindFirstFileExW(
        ChildPath(openFolder, pattern).c_str(), shortNames ? FindExInfoStandard : FindExInfoBasic, &listed.data,
        foldersOnly ? FindExSearchLimitToDirectories : FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return GetLastError();
    do {
        listed.name = listed.data.cFileName;
        take(listed);
    } while (FindNextFileW(find.get(), &listed.data));
    return GetLastError();
}

void SortByName(std::vector<FoundEntry>& entries) {
    SortFolded(entries, [](const FoundEntry& entry) -> const std::wstring& { return entry.name; });
}

// A folder being walked: the sub-folders still to come, each reported before it is entered when
// `report` is set. It is held open while its depth allows (PlanFolderOpen); its identity is read only
// when a reparse point below it is about to be entered.
struct Frame {
    std::wstring folder;
    std::wstring openFolder;
    unsigned depth;
    std::vector<FoundEntry> pending;
    bool report;
    SharedFolder handle;
    size_t next = 0;
    enum class Identity { kUnread, kKnown, kUnknown } identityState = Identity::kUnread;
    FileIdentity identity = {};
};

// A reparse point may lead back to a folder the walk is inside: it is entered only when its identity
// and that of every folder on the current path are known and differ.
bool IsNewOnPath(const FileIdentity& candidate, std::vector<Frame>& path) {
    for (Frame& frame : path) {
        if (frame.identityState == Frame::Identity::kUnread) {
            const bool known = frame.handle ? ReadHandleIdentity(frame.handle->get(), frame.identity)
                                            : ReadFileIdentity(frame.openFolder.c_str(), frame.identity);
            frame.identityState = known ? Frame::Identity::kKnown : Frame::Identity::kUnknown;
        }
        if (frame.identityState == Frame::Identity::kUnknown || frame.identity == candidate) return false;
    }
    return true;
}

// What one folder's listing collected: its files, the folders a pattern selects, and every sub-folder
// (or only those to enter).
struct Lists {
    std::vector<FoundEntry> files;
    std::vector<FoundEntry> matches;
    std::vector<FoundEntry> folders;
};

// One attempt at listing a folder open as `folder` (or, without a handle, by `openFolder`); the Win32
// error the listing ended with.
DWORD ListOnce(const std::wstring& openFolder, const FileHandle* folder, const SharedFolder& held, unsigned depth,
               const WalkOptions& options, Lists& lists) {
    const bool filesHere = options.files && (depth > 0 || options.rootFiles);
    const bool anyFile = filesHere && options.filePattern == nullptr;
    const bool anyFolder = options.folders && options.folderPattern == nullptr;
    const bool anyEnumeration = anyFile || anyFolder || options.recursive;
    // A plain pattern is matched here on the one enumeration with "*"; any other gets an enumeration
    // of its own, matched by the platform.
    const bool fileMatchHere = filesHere && IsMatchedHere(options.filePattern);
    const bool folderMatchHere = options.folders && IsMatchedHere(options.folderPattern);
    auto make = [&](const Listed& listed) { return MakeEntry(listed, openFolder, held, options); };
    DWORD error = ERROR_NO_MORE_FILES;
    // The first failure stands; a refused pattern is no match.
    auto keep = [&error](DWORD answer, bool byPattern = false) {
        if (ClassifyListing(error) == ListingAnswer::kListed &&
            ClassifyListing(answer, byPattern) == ListingAnswer::kFailed)
            error = answer;
    };
    if (filesHere && options.filePattern != nullptr && !fileMatchHere) {
        keep(ListByPath(openFolder, options.filePattern, false, false,
                        [&](const Listed& listed) {
                            if (!IsFolder(listed.data)) lists.files.push_back(make(listed));
                        }),
             true);
    }
    if (options.folders && options.folderPattern != nullptr && !folderMatchHere) {
        keep(ListByPath(openFolder, options.folderPattern, true, false,
                        [&](const Listed& listed) {
                            if (IsFolder(listed.data) && !IsDotEntry(listed.name.c_str()))
                                lists.matches.push_back(make(listed));
                        }),
             true);
    }
    if (anyEnumeration || fileMatchHere || folderMatchHere) {
        const bool wantFiles = anyFile || fileMatchHere;
        const bool shortNames = fileMatchHere || folderMatchHere;
        auto take = [&](const Listed& listed) {
            if (!IsFolder(listed.data)) {
                if (anyFile || (fileMatchHere && Matches(options.filePattern, listed)))
                    lists.files.push_back(make(listed));
                return;
            }
            if (IsDotEntry(listed.name.c_str())) return;
            if (folderMatchHere && Matches(options.folderPattern, listed)) lists.matches.push_back(make(listed));
            if (anyFolder || (options.recursive && options.enterRule(listed.data)))
                lists.folders.push_back(make(listed));
        };
        keep(folder != nullptr ? ListHandle(folder->get(), shortNames, take)
                               : ListByPath(openFolder, kAnyName, !wantFiles, shortNames, take));
    }
    return error;
}

// The folder opened to list it, relative to `parent` by `name` or by `openFolder` as `plan` says;
// empty with the error when it cannot be, and always without the native calls (it is listed by path).
FileHandle OpenToList(const FolderOpenPlan& plan, const std::wstring& openFolder, const SharedFolder& parent,
                      const std::wstring& name, DWORD& error) {
    if (!HaveNativeFileCalls()) return FileHandle();
    return plan.relative ? OpenFolderAt(parent->get(), name, error) : OpenFolderByPath(openFolder.c_str(), error);
}

// Whether the reparse point open as `opened` (without a handle: by `openFolder`) is not on `path`.
bool IsNewReparsePoint(const FileHandle& opened, const std::wstring& openFolder, std::vector<Frame>& path) {
    FileIdentity identity;
    const bool known =
        opened ? ReadHandleIdentity(opened.get(), identity) : ReadFileIdentity(openFolder.c_str(), identity);
    return known && IsNewOnPath(identity, path);
}

// Opens and lists one folder (`parent` and `name` say how to reach it relative to its parent, or null
// and empty for the walk's root) into `lists`, tried once more after the walk's handed-out work has
// drained when it fails for a reason other than an empty or refused folder; `error` is the Win32
// error the listing ended with, and `held` the folder kept open for its entries. False for a reparse
// point already on `path`, which is not listed.
bool ListFolder(const std::wstring& folder, const std::wstring& openFolder, unsigned depth, const SharedFolder& parent,
                const std::wstring& name, bool reparse, std::vector<Frame>& path, const WalkOptions& options,
                Lists& lists, SharedFolder& held, DWORD& error) {
    const FolderOpenPlan plan = PlanFolderOpen(parent != nullptr, depth, RelativeOpensHere());
    for (unsigned attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0 && options.drain) options.drain();
        lists = Lists();
        held.reset();
        const ListingFault fault = injectedFault.load();
        error = fault != nullptr ? fault(folder, attempt) : ERROR_SUCCESS;
        if (error != ERROR_SUCCESS) continue;
        FileHandle opened = OpenToList(plan, openFolder, parent, name, error);
        if (!opened && HaveNativeFileCalls()) {
            if (ClassifyListing(error) == ListingAnswer::kListed) break;  // gone or refused: no entries
            continue;
        }
        if (reparse && !IsNewReparsePoint(opened, openFolder, path)) return false;
        auto shared = std::make_shared<FileHandle>(std::move(opened));
        if (plan.keep && *shared) held = shared;
        error = ListOnce(openFolder, *shared ? shared.get() : nullptr, held, depth, options, lists);
        if (ClassifyListing(error) == ListingAnswer::kListed) break;
    }
    return true;
}

// Reports a listed folder's files (those the date filter lets through) and, when a pattern selects
// them, its folders, in name order when the walk is sorted.
void VisitListed(const std::wstring& folder, unsigned depth, Lists& lists, const WalkOptions& options,
                 const WalkVisitor& visit) {
    lists.files.erase(
        std::remove_if(lists.files.begin(), lists.files.end(),
                       [&](const FoundEntry& file) { return !PassesDateFilter(file, options.reference); }),
        lists.files.end());
    if (options.sorted) {
        SortByName(lists.files);
        SortByName(lists.matches);
        SortByName(lists.folders);
    }
    for (const FoundEntry& file : lists.files) visit(folder, file, depth);
    for (const FoundEntry& match : lists.matches) visit(folder, match, depth);
}

// Lists and reports one folder, or says it could not be listed, and pushes its frame with the
// sub-folders still to report or enter; nothing for a reparse point already on `path`.
void EnterFolder(std::wstring folder, std::wstring openFolder, unsigned depth, const SharedFolder& parent,
                 const std::wstring& name, bool reparse, std::vector<Frame>& path, const WalkOptions& options,
                 const WalkVisitor& visit) {
    Lists lists;
    SharedFolder held;
    DWORD error = ERROR_SUCCESS;
    if (!ListFolder(folder, openFolder, depth, parent, name, reparse, path, options, lists, held, error)) return;
    if (ClassifyListing(error) == ListingAnswer::kFailed) {
        lists = Lists();
        held.reset();
        if (options.unlisted) options.unlisted(folder, depth, error);
    }
    VisitListed(folder, depth, lists, options, visit);
    const bool anyFolder = options.folders && options.folderPattern == nullptr;
    path.push_back(
        Frame{std::move(folder), std::move(openFolder), depth, std::move(lists.folders), anyFolder, std::move(held)});
}

}  // namespace

ListingAnswer ClassifyListing(DWORD error, bool byPattern) {
    switch (error) {
        case ERROR_SUCCESS:
        case ERROR_NO_MORE_FILES:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_ACCESS_DENIED:
            return ListingAnswer::kListed;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_PATH_NOT_FOUND:
            return byPattern ? ListingAnswer::kListed : ListingAnswer::kFailed;
        default:
            return ListingAnswer::kFailed;
    }
}

FolderOpenPlan PlanFolderOpen(bool parentHeld, unsigned depth, bool relativeAllowed) {
    return FolderOpenPlan{parentHeld && relativeAllowed, depth < kMostHeldFolders};
}

void InjectListingFault(ListingFault fault) { injectedFault.store(fault); }

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
    EnterFolder(root, openRoot, 0, nullptr, std::wstring(), false, stack, options, visit);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.pending.size()) {
            stack.pop_back();
            continue;
        }
        const FoundEntry folder = top.pending[top.next++];
        if (top.report) visit(top.folder, folder, top.depth);
        if (!options.recursive || !folder.enter) continue;
        // `top` is not used past this point: the child's frame may move the stack.
        EnterFolder(ChildPath(top.folder, folder.name.c_str()), folder.openPath, top.depth + 1, top.handle, folder.name,
                    (folder.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, stack, options, visit);
    }
}
