// DIR: a folder's files and sub-folders, with options for whole trees, patterns, dates and digests.
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include "directives/files/files.h"
#include "report/log.h"
#include "report/ordered_output.h"
#include "util/disk_file.h"
#include "util/environment.h"
#include "util/system_error.h"
#include "util/work_pool.h"

namespace {

const wchar_t kBlankLine[] = L"\r\n\r\n";
const wchar_t kUnableToFind[] = L" - Unable to find folder.\r\n";
const wchar_t kUnableToList[] = L" - Unable to list folder: ";
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

// Lines whose digests are still being taken, held or waited for, before the walk waits for the
// oldest: bounds what one slow file can make the rest of the listing hold.
constexpr size_t kMostLinesHeld = 4096;

// The section's lines, written in the order they are added while the digests of some are taken on the
// pool's threads: each line goes out once it and every line before it are complete.
class ListingLines {
public:
    ListingLines(FILE* report, WorkPool& pool)
        : pool_(pool), output_([report](const std::wstring& text) { Log(text.c_str(), report); }) {}
    ListingLines(const ListingLines&) = delete;
    ListingLines& operator=(const ListingLines&) = delete;
    ~ListingLines() { pool_.Wait(digests_); }

    void Add(std::wstring text) { output_.WriteLast(text); }
    // `text`, then the digest of `file`.
    void AddDigested(std::wstring text, const FoundEntry& file) {
        output_.WaitForRoom(pool_, kMostLinesHeld);
        OrderedOutput::Part* line = output_.Append();
        pool_.Post(digests_, [this, line, text = std::move(text), file]() mutable {
            output_.Begin(line);
            AppendDigest(text, file);
            output_.Write(line, text);
            output_.Finish(line);
        });
    }
    // Returns once every digest asked for so far is taken, and the files they held open are closed.
    void Drain() { pool_.Wait(digests_); }

private:
    WorkPool& pool_;
    JobGroup digests_;
    OrderedOutput output_;
};

// Everything a DIR line asks for, read once from its tokens.
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
    // The parameters each folder a w token selects shows: every other token, as " /"-separated text.
    std::wstring folderParameters;
};

bool IsFolderPatternToken(const wchar_t* token) { return FoldCase(token[0]) == L'W'; }

DirOptions ReadOptions(const std::vector<std::wstring>& tokens) {
    DirOptions options;
    for (const std::wstring& text : tokens) {
        const wchar_t* token = text.c_str();
        if (!IsFolderPatternToken(token)) {
            options.folderParameters += options.folderParameters.empty() ? kOptionStart + 1 : kOptionStart;
            options.folderParameters += token;
        }
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
    if (options.folderParameters.empty()) options.folderParameters = kNoParameters;
    return options;
}

// "\r\n<path>", then the parameters line, or the "unable to find" line and false.
bool LogFolderHeader(const std::wstring& path, bool exists, const std::wstring& parameters, ListingLines& report) {
    std::wstring header = kLineEnd;
    header += path;
    header += exists ? kParameters : kUnableToFind;
    if (exists) {
        header += parameters;
        header += kParametersEnd;
    }
    report.Add(std::move(header));
    return exists;
}

// "\r\n", the name, the entry text and, when asked, the digest of the file as found (taken on one of
// the pool's threads).
void LogFile(const FoundEntry& file, bool md5, ListingLines& report) {
    std::wstring line = kLineEnd;
    line += file.name;
    line += EntryText(file);
    if (!md5) {
        report.Add(std::move(line));
        return;
    }
    report.AddDigested(std::move(line), file);
}

// A folder's files, then its folder list or, in sub mode, its whole tree: each sub-folder's line, its
// files, then its own sub-folders. The name pattern, the date filter and the digests hold at every
// depth; nofiles hides only the folder's own files. `openPath` is the form to open `path` by.
void ListFolder(const std::wstring& path, const std::wstring& openPath, const DirOptions& options,
                ListingLines& report) {
    WalkOptions walk;
    walk.files = true;
    walk.rootFiles = !options.noFiles;
    walk.filePattern = options.hasNamePattern ? options.namePattern.c_str() : nullptr;
    walk.reference = options.hasReference ? &options.reference : nullptr;
    walk.folders = options.sub || !options.noDirs;
    walk.recursive = options.sub;
    walk.sorted = true;

    if (!options.noFiles) report.Add(kFilesHeader);
    bool anyRootFile = false;
    bool rootFilesDone = false;
    bool anyFolder = false;
    std::wstring folderList;
    // A folder that could not be listed is said where its entries would be, never shown as empty:
    // the root's in place of its files (and of its folder list), a sub-folder's after its line.
    std::wstring rootUnlisted;
    walk.drain = [&report] { report.Drain(); };
    // The root's files all come first; the first entry after them closes their part.
    auto endRootFiles = [&] {
        if (rootFilesDone) return;
        rootFilesDone = true;
        if (!options.noFiles && !anyRootFile) report.Add(kNoFiles);
    };
    walk.unlisted = [&](const std::wstring& folder, unsigned depth, DWORD error) {
        std::wstring text = folder;
        text += kUnableToList;
        text += SystemErrorText(error);
        if (depth == 0) {
            rootUnlisted = text;
            rootFilesDone = true;
            if (options.noFiles && !options.sub) return;
        }
        report.Add(kLineEnd + text);
    };
    WalkFolder(path, openPath, walk, [&](const std::wstring& folder, const FoundEntry& entry, unsigned depth) {
        const bool isFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!isFolder && depth == 0) {
            anyRootFile = true;
            LogFile(entry, options.md5, report);
            return;
        }
        endRootFiles();
        if (!isFolder) {
            LogFile(entry, options.md5, report);
            return;
        }
        anyFolder = true;
        if (!options.sub) {
            folderList += entry.name;
            folderList += EntryText(entry);
            folderList += kLineEnd;
            return;
        }
        std::wstring line = kBlankLine;
        line += ChildPath(folder, entry.name.c_str());
        line += EntryText(entry);
        report.Add(std::move(line));
    });
    endRootFiles();
    if (options.sub) {
        report.Add(anyFolder || !rootUnlisted.empty() ? kLineEnd : kNoSubFolders);
    } else if (!options.noDirs) {
        std::wstring text = kFoldersHeader;
        if (!rootUnlisted.empty()) {
            text += rootUnlisted;
            text += kLineEnd;
        } else {
            text += anyFolder ? folderList.c_str() : kNoFolders;
        }
        report.Add(std::move(text));
    } else {
        report.Add(kLineEnd);
    }
}

}  // namespace

void DirLook(wchar_t* line, FILE* report, WorkPool& pool) {
    // The parameters start at the first slash and are shown whole.
    std::wstring parameters = kNoParameters;
    std::vector<std::wstring> tokens;
    if (wchar_t* slash = wcschr(line, L'/')) {
        tokens = Split(slash, kOptionSeparators);
        if (!tokens.empty()) parameters = slash;
        *slash = L'\0';
    }
    const DirOptions options = ReadOptions(tokens);

    std::wstring path = Strip(line);
    if (!options.noExpand) {
        path = ExpandEnvironment(path.c_str());
        if (!path.empty() && path.back() == L'\\') path.pop_back();
    }
    // Everything goes through `lines`, so that digests taken on other threads come out in their place.
    ListingLines lines(report, pool);
    // Checked in the form the walk opens, so that a long path, or a name Win32 would rewrite, is both
    // found and listed. An empty path names no folder (its open form would be the drive's root).
    const std::wstring openPath = FolderOpenPath(path);
    const bool exists = !path.empty() && DoesFolderExist(openPath.c_str());
    if (!LogFolderHeader(path, exists, parameters, lines)) return;
    if (!options.hasFolderPattern) {
        ListFolder(path, openPath, options, lines);
        return;
    }
    // Each matching sub-folder gets a section of its own, listed by its path with every other option:
    // the name is used as found, never expanded or trimmed, and checked and opened in the form that
    // keeps it whole (a trailing dot or blank).
    WalkOptions matches;
    matches.folders = true;
    matches.folderPattern = options.folderPattern.c_str();
    matches.sorted = true;
    WalkFolder(path, openPath, matches, [&](const std::wstring& folder, const FoundEntry& entry, unsigned) {
        const std::wstring subFolder = ChildPath(folder, entry.name.c_str());
        if (LogFolderHeader(subFolder, DoesFolderExist(entry.openPath.c_str()), options.folderParameters, lines)) {
            ListFolder(subFolder, entry.openPath, options, lines);
        }
    });
}
