// FOLDERFIND: every folder of the system drive whose name matches a pattern. Matching links are
// listed like any folder but never entered.
#include "directives/files/files.h"

void FolderFind(wchar_t* line, FILE* report, WorkPool& pool) { LogSearch(SearchKind::kFolders, line, report, pool); }
