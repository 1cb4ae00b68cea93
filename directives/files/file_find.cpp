// FILEFIND: every file of the system drive whose name matches a pattern, with its digest.
#include "directives/files/files.h"

DString* FindFiles(const wchar_t* pattern, const wchar_t* folder, DString* results) {
    return SearchTree(SearchKind::kFiles, pattern, folder, results);
}

void FileFind(wchar_t* line, FILE* report) { LogSearch(SearchKind::kFiles, line, report); }
