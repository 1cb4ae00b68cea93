// What FILEFIND and FOLDERFIND share: the start folder, the walk and the section's layout.
#include <string>
#include <vector>

#include "directives/files/files.h"
#include "report/log.h"
#include "util/environment.h"
#include "util/owned.h"

namespace {

const wchar_t kSystemDrive[] = L"%SystemDrive%";
const wchar_t kSearchingFor[] = L"\r\nSearching for \"";
const wchar_t kSearchHeaderEnd[] = L"\"\r\n";
const wchar_t kNoFilesFound[] = L"No files found.\r\n";
const wchar_t kNoFoldersFound[] = L"No folders found.\r\n";
const wchar_t kLineEnd[] = L"\r\n";

}  // namespace

std::wstring SearchStartFolder() {
    std::wstring drive = ExpandEnvironment(kSystemDrive).get();
    if (!drive.empty() && drive.back() == L'\\') drive.pop_back();
    return drive;
}

DString* SearchTree(SearchKind kind, const wchar_t* pattern, const wchar_t* folder, DString* results) {
    // A stack of its own instead of recursion, so a tree of any depth is fine.
    std::vector<std::wstring> pending{folder};
    while (!pending.empty()) {
        std::wstring current = std::move(pending.back());
        pending.pop_back();
        DStringList matches(kind == SearchKind::kFiles ? GetFiles(current.c_str(), pattern, nullptr)
                                                       : GetFolders(current.c_str(), pattern));
        for (const DString* match = matches.get(); match != nullptr; match = match->next) {
            results = addStrings(results, JoinPath(current, match->first).c_str(), match->second);
        }
        PushFoldersToEnter(pending, current);
    }
    return results;
}

void LogSearch(SearchKind kind, const wchar_t* line, FILE* report) {
    std::wstring header = kSearchingFor;
    header += line;
    header += kSearchHeaderEnd;
    Log(header.c_str(), report);

    DStringList matches(SortDStrings(SearchTree(kind, line, SearchStartFolder().c_str(), nullptr)));
    if (!matches) {
        Log(kind == SearchKind::kFiles ? kNoFilesFound : kNoFoldersFound, report);
        return;
    }
    for (const DString* match = matches.get(); match != nullptr; match = match->next) {
        std::wstring text = match->first;
        text += match->second;
        if (kind == SearchKind::kFiles) AppendDigest(text, match->first);
        text += kLineEnd;
        Log(text.c_str(), report);
    }
}
