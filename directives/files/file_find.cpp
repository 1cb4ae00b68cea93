// FILEFIND: every file of the system drive whose name matches a pattern, with its digest.
#include "directives/files/files.h"

void FileFind(wchar_t* line, FILE* report, WorkPool& pool) { LogSearch(SearchKind::kFiles, line, report, pool); }
