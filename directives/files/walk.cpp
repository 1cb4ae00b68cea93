// The one folder walker of the file directives, and the paths it builds.
#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "directives/files/files.h"
#include "util/handles.h"

namespace {

const wchar_t kAnyName[] = L"*";

bool IsDotEntry(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

bool IsFolder(const WIN32_FIND_DATAW& entry) { return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

FoundEntry MakeEntry(const WIN32_FIND_DATAW& data) {
    return FoundEntry{data.cFileName,
                      data.dwFileAttributes,
                      data.ftCreationTime,
                      data.ftLastWriteTime,
                      (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                      IsFolderToEnter(data)};
}

bool PassesDateFilter(const FoundEntry& file, const SYSTEMTIME* reference) {
    return reference == nullptr || IsOnOrAfter(FileTimeFields(file.created), *reference) ||
           IsOnOrAfter(FileTimeFields(file.written), *reference);
}

// Calls `take` for every entry of folder\pattern (the platform matches * and ? ignoring case);
// `foldersOnly` is a hint that files are not wanted.
template <typename Take>
void Enumerate(const std::wstring& folder, const wchar_t* pattern, bool foldersOnly, Take take) {
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileExW(JoinPath(folder, pattern).c_str(), FindExInfoBasic, &data,
                                     foldersOnly ? FindExSearchLimitToDirectories : FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH));
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
// `report` is set.
struct Frame {
    std::wstring folder;
    unsigned depth;
    std::vector<FoundEntry> pending;
    bool report;
    size_t next;
};

// Enumerates one folder: reports its files and, when a pattern selects them, its folders; returns
// its frame with the sub-folders still to report or enter.
Frame OpenFolder(std::wstring folder, unsigned depth, const WalkOptions& options, const WalkVisitor& visit) {
    std::vector<FoundEntry> files;
    std::vector<FoundEntry> matches;  // folders a pattern selects
    std::vector<FoundEntry> folders;  // every sub-folder, or only those to enter
    const bool filesHere = options.files && (depth > 0 || options.rootFiles);
    const bool anyFile = filesHere && options.filePattern == nullptr;
    const bool anyFolder = options.folders && options.folderPattern == nullptr;
    // A pattern gets an enumeration of its own; one with "*" serves whatever no pattern narrows and
    // the folders to enter.
    if (filesHere && options.filePattern != nullptr) {
        Enumerate(folder, options.filePattern, false, [&](const WIN32_FIND_DATAW& data) {
            if (!IsFolder(data)) files.push_back(MakeEntry(data));
        });
    }
    if (options.folders && options.folderPattern != nullptr) {
        Enumerate(folder, options.folderPattern, true, [&](const WIN32_FIND_DATAW& data) {
            if (IsFolder(data) && !IsDotEntry(data.cFileName)) matches.push_back(MakeEntry(data));
        });
    }
    if (anyFile || anyFolder || options.recursive) {
        Enumerate(folder, kAnyName, !anyFile, [&](const WIN32_FIND_DATAW& data) {
            if (!IsFolder(data)) {
                if (anyFile) files.push_back(MakeEntry(data));
            } else if (anyFolder ? !IsDotEntry(data.cFileName) : options.recursive && IsFolderToEnter(data)) {
                folders.push_back(MakeEntry(data));
            }
        });
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
    return Frame{std::move(folder), depth, std::move(folders), anyFolder, 0};
}

}  // namespace

bool IsFolderToEnter(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && !IsDotEntry(entry.cFileName);
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
    // A stack of its own instead of recursion: the call depth stays the same however deep the tree.
    std::vector<Frame> stack;
    stack.push_back(OpenFolder(root, 0, options, visit));
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.pending.size()) {
            stack.pop_back();
            continue;
        }
        const FoundEntry& folder = top.pending[top.next++];
        if (top.report) visit(top.folder, folder, top.depth);
        if (!options.recursive || !folder.enter) continue;
        Frame child = OpenFolder(ChildPath(top.folder, folder.name.c_str()), top.depth + 1, options, visit);
        stack.push_back(std::move(child));  // `top` and `folder` are not used past this point
    }
}
