// FOLDERFIND: every folder of the system drive whose name matches a pattern. Matching links are
// listed like any folder but never entered.
#include "directives/files/files.h"

DString* FindFolders(const wchar_t* pattern, const wchar_t* folder, DString* results) {
    return SearchTree(SearchKind::kFolders, pattern, folder, results);
}

void FolderFind(wchar_t* line, FILE* report) { LogSearch(SearchKind::kFolders, line, report); }
