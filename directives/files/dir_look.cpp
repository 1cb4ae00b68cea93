// DIR: a folder's files and sub-folders, with options for whole trees, patterns, dates and digests.
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "directives/files/files.h"
#include "report/log.h"
#include "util/environment.h"
#include "util/owned.h"

namespace {

const wchar_t kLineEnd[] = L"\r\n";
const wchar_t kBlankLine[] = L"\r\n\r\n";
const wchar_t kUnableToFind[] = L" - Unable to find folder.\r\n";
const wchar_t kParameters[] = L" - Parameters: \"";
const wchar_t kNoParameters[] = L"(none)";
const wchar_t kParametersEnd[] = L"\"\r\n";
const wchar_t kFilesHeader[] = L"\r\n---Files---";
const wchar_t kNoFiles[] = L"\r\nNone found.";
const wchar_t kFoldersHeader[] = L"\r\n\r\n---Folders---\r\n";
const wchar_t kNoFolders[] = L"None found.\r\n";
const wchar_t kNoSubFolders[] = L"\r\n\r\nNo folders found.\r\n";
const wchar_t kOptionSeparators[] = L"/ ";
const wchar_t kOptionStart[] = L" /";

struct DirOptions {
    bool sub = false;
    bool noDirs = false;
    bool noFiles = false;
    bool md5 = false;
    bool noExpand = false;
    bool hasReference = false;
    SYSTEMTIME reference = {};
    bool hasNamePattern = false;
    std::wstring namePattern;
    bool hasFolderPattern = false;
    std::wstring folderPattern;
};

bool IsFolderPatternToken(const wchar_t* token) { return FoldCase(token[0]) == L'W'; }

DirOptions ReadOptions(const String* tokens) {
    DirOptions options;
    for (; tokens != nullptr; tokens = tokens->next) {
        const wchar_t* token = tokens->text;
        if (_tcscmpi(token, L"sub") == 0 || _tcscmpi(token, L"s") == 0) {
            options.sub = true;
        } else if (_tcscmpi(token, L"nodirs") == 0) {
            options.noDirs = true;
        } else if (_tcscmpi(token, L"nofiles") == 0) {
            options.noFiles = true;
        } else if (_tcscmpi(token, L"md5") == 0) {
            options.md5 = true;
        } else if (_tcscmpi(token, L"noexpand") == 0) {
            options.noExpand = true;
        } else if (FoldCase(token[0]) == L'T') {
            SYSTEMTIME today;
            GetLocalTime(&today);
            options.hasReference = true;
            options.reference = ReferenceDate(today, wcstol(token + 1, nullptr, 10));
        } else if (FoldCase(token[0]) == L'N') {
            options.hasNamePattern = true;
            options.namePattern = token + 1;
        } else if (IsFolderPatternToken(token)) {
            options.hasFolderPattern = true;
            options.folderPattern = token + 1;
        }
    }
    return options;
}

// What every level of a listing shares.
struct Listing {
    const wchar_t* pattern;
    const SYSTEMTIME* reference;
    bool md5;
    FILE* report;
};

// "\r\n", the name, the entry text and, when asked, the digest of folder\name (backslash always added).
void LogFileList(const std::wstring& folder, const DString* files, const Listing& listing) {
    for (const DString* file = files; file != nullptr; file = file->next) {
        std::wstring line = kLineEnd;
        line += file->first;
        line += file->second;
        if (listing.md5) AppendDigest(line, JoinPath(folder, file->first));
        Log(line.c_str(), listing.report);
    }
}

DString* GetSortedFiles(const std::wstring& folder, const Listing& listing) {
    return SortDStrings(GetFiles(folder.c_str(), listing.pattern, listing.reference));
}

DString* GetSortedFolders(const std::wstring& folder, const wchar_t* pattern) {
    return SortDStrings(GetFolders(folder.c_str(), pattern));
}

// One folder of a tree walk: its sorted sub-folders and the next one to visit.
struct Level {
    std::wstring folder;
    DStringList folders;
    const DString* next;
};

void PushLevel(std::vector<Level>& levels, std::wstring folder, DStringList sortedFolders) {
    const DString* first = sortedFolders.get();
    levels.push_back(Level{std::move(folder), std::move(sortedFolders), first});
}

// Writes a folder's files and pushes its level: one enumeration when no name pattern narrows the files.
void EnterFolder(std::vector<Level>& levels, std::wstring folder, const Listing& listing) {
    DString* files = nullptr;
    DString* folders = nullptr;
    if (listing.pattern == nullptr) {
        GetFilesAndFolders(folder.c_str(), listing.reference, &files, &folders);
    } else {
        files = GetFiles(folder.c_str(), listing.pattern, listing.reference);
        folders = GetFolders(folder.c_str(), nullptr);
    }
    DStringList sortedFiles(SortDStrings(files));
    DStringList sortedFolders(SortDStrings(folders));
    LogFileList(folder, sortedFiles.get(), listing);
    sortedFiles.reset();
    PushLevel(levels, std::move(folder), std::move(sortedFolders));
}

// Depth first with a stack of its own: each sub-folder's line, then its files, then its sub-folders.
// Links and junctions are listed but not entered.
void WalkLevels(std::vector<Level>& levels, const Listing& listing) {
    while (!levels.empty()) {
        Level& top = levels.back();
        if (top.next == nullptr) {
            levels.pop_back();
            continue;
        }
        const DString* entry = top.next;
        top.next = entry->next;
        std::wstring path = ChildPath(top.folder, entry->first);
        std::wstring line = kBlankLine;
        line += path;
        line += entry->second;
        Log(line.c_str(), listing.report);
        if (!IsFolderToEnter(path)) continue;
        EnterFolder(levels, std::move(path), listing);  // `top` is not used past this point
    }
}

// The DIR line for one sub-folder selected by a w token: every other option goes along.
std::wstring SubFolderLine(const std::wstring& folder, const wchar_t* name, const String* tokens) {
    std::wstring line = ChildPath(folder, name);
    for (; tokens != nullptr; tokens = tokens->next) {
        if (IsFolderPatternToken(tokens->text)) continue;
        line += kOptionStart;
        line += tokens->text;
    }
    return line;
}

}  // namespace

void EnumerateDirectory(const wchar_t* folder, const wchar_t* pattern, const SYSTEMTIME* reference, FILE* report,
                        bool md5) {
    const Listing listing{pattern, reference, md5, report};
    std::vector<Level> levels;
    EnterFolder(levels, folder, listing);
    WalkLevels(levels, listing);
}

void DirLook(wchar_t* line, FILE* report) {
    // The parameters start at the first slash; the tokens are split from a copy, as it is shown whole.
    std::wstring parameters;
    StringList tokens;
    if (wchar_t* slash = wcschr(line, L'/')) {
        parameters = slash;
        *slash = L'\0';
        std::wstring work = parameters;
        tokens.reset(Split(work.data(), kOptionSeparators));
    }
    const DirOptions options = ReadOptions(tokens.get());

    std::wstring path = Strip(line);
    if (!options.noExpand) {
        path = ExpandEnvironment(path.c_str()).get();
        if (!path.empty() && path.back() == L'\\') path.pop_back();
    }
    Log(kLineEnd, report);
    Log(path.c_str(), report);
    if (!DoesFolderExist(path.c_str())) {
        Log(kUnableToFind, report);
        return;
    }
    Log(kParameters, report);
    Log(tokens ? parameters.c_str() : kNoParameters, report);
    Log(kParametersEnd, report);

    const Listing listing{options.hasNamePattern ? options.namePattern.c_str() : nullptr,
                          options.hasReference ? &options.reference : nullptr, options.md5, report};
    if (!options.hasFolderPattern && !options.noFiles) {
        DStringList files(GetSortedFiles(path, listing));
        Log(kFilesHeader, report);
        if (!files) Log(kNoFiles, report);
        LogFileList(path, files.get(), listing);
    }

    DStringList folders(GetSortedFolders(path, options.hasFolderPattern ? options.folderPattern.c_str() : nullptr));
    if (options.hasFolderPattern) {
        for (const DString* folder = folders.get(); folder != nullptr; folder = folder->next) {
            std::wstring subLine = SubFolderLine(path, folder->first, tokens.get());
            DirLook(subLine.data(), report);
        }
    } else if (!options.sub && !options.noDirs) {
        std::wstring text = kFoldersHeader;
        if (!folders) text += kNoFolders;
        for (const DString* folder = folders.get(); folder != nullptr; folder = folder->next) {
            text += folder->first;
            text += folder->second;
            text += kLineEnd;
        }
        Log(text.c_str(), report);
    } else if (options.sub && folders) {
        std::vector<Level> levels;
        PushLevel(levels, path, std::move(folders));
        WalkLevels(levels, listing);
        Log(kLineEnd, report);
    } else if (options.sub) {
        Log(kNoSubFolders, report);
    } else {
        Log(kLineEnd, report);
    }
}
