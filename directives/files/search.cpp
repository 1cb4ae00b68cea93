// What FILEFIND and FOLDERFIND share: the start folder, the walk and the section's layout.
#include <cwchar>
#include <deque>
#include <string>
#include <vector>

#include "directives/files/files.h"
#include "report/log.h"
#include "report/texts.h"
#include "util/environment.h"
#include "util/system_error.h"

namespace {

const wchar_t kSystemDrive[] = L"%SystemDrive%";
const wchar_t kSearchHeaderEnd[] = L"\"\r\n";
const wchar_t kNoFilesFound[] = L"No files found.\r\n";
const wchar_t kNoFoldersFound[] = L"No folders found.\r\n";
const wchar_t kUnableToList[] = L"Unable to list ";
const wchar_t kFolderCounted[] = L" folder, the first ";
const wchar_t kFoldersCounted[] = L" folders, the first ";
const wchar_t kBecause[] = L": ";

}  // namespace

std::wstring SearchStartFolder() {
    std::wstring drive = ExpandEnvironment(kSystemDrive);
    if (!drive.empty() && drive.back() == L'\\') drive.pop_back();
    return drive;
}

namespace {

// A pattern names the entries of one folder: with a backslash or slash in it, it names nothing.
bool IsNamePattern(const wchar_t* pattern) { return wcspbrk(pattern, L"\\/") == nullptr; }

// The folders a search could not list: how many, and the first of them with the system's reason.
struct Unlisted {
    size_t count = 0;
    std::wstring first;
    DWORD error = 0;
};

// (full path, entry text) of every file or folder below `folder` whose name matches `pattern`. Files
// are digested on the pool's threads while the walk goes on, each by the form the walk opens it by
// and with its find data's attributes; the job then puts the text with the digest in its own pair,
// which stays where it is as the walk appends others (a deque) and which nothing else touches until
// the digests are done. The pairs are sorted afterwards, so the jobs may end in any order.
std::deque<TextPair> SearchTree(SearchKind kind, const wchar_t* pattern, const std::wstring& folder, WorkPool& pool,
                                Unlisted& unlisted) {
    WalkOptions options;
    options.files = kind == SearchKind::kFiles;
    options.filePattern = pattern;
    options.folders = kind == SearchKind::kFolders;
    options.folderPattern = pattern;
    options.recursive = true;
    std::deque<TextPair> results;
    JobGroup digests;
    options.drain = [&] { pool.Wait(digests); };
    options.unlisted = [&](const std::wstring& shown, unsigned, DWORD error) {
        if (unlisted.count++ == 0) {
            unlisted.first = shown;
            unlisted.error = error;
        }
    };
    WalkFolder(folder, options, [&](const std::wstring& parent, const FoundEntry& entry, unsigned) {
        std::wstring text = EntryText(entry);
        const bool digested = kind == SearchKind::kFiles;
        results.push_back({JoinPath(parent, entry.name.c_str()), digested ? std::wstring() : text});
        if (!digested) return;
        pool.Post(digests, [match = &results.back(), text = std::move(text), entry]() mutable {
            AppendDigest(text, entry);
            // Kept until the section is written: without the room the digest's appending left over.
            text.shrink_to_fit();
            match->second = std::move(text);
        });
    });
    pool.Wait(digests);
    return results;
}

}  // namespace

void LogSearch(SearchKind kind, const wchar_t* line, FILE* report, WorkPool& pool) {
    std::wstring header = kSearchingFor;
    header += line;
    header += kSearchHeaderEnd;
    Log(header.c_str(), report);

    std::deque<TextPair> matches;
    Unlisted unlisted;
    if (IsNamePattern(line)) matches = SearchTree(kind, line, SearchStartFolder(), pool, unlisted);
    // A whole drive's matches are sorted by reference: the sort's buffer holds pointers, not pairs.
    std::vector<const TextPair*> order;
    order.reserve(matches.size());
    for (const TextPair& match : matches) order.push_back(&match);
    SortFolded(order, [](const TextPair* match) -> const std::wstring& { return match->first; });
    if (order.empty()) Log(kind == SearchKind::kFiles ? kNoFilesFound : kNoFoldersFound, report);
    for (const TextPair* match : order) {
        std::wstring text = match->first;
        text += match->second;
        text += kLineEnd;
        Log(text.c_str(), report);
    }
    if (unlisted.count == 0) return;
    std::wstring text = kUnableToList;
    text += std::to_wstring(unlisted.count);
    text += unlisted.count == 1 ? kFolderCounted : kFoldersCounted;
    text += unlisted.first;
    text += kBecause;
    text += SystemErrorText(unlisted.error);
    text += kLineEnd;
    Log(text.c_str(), report);
}
