// The directive handlers of the context and command tables, grouped by the file that holds each. A
// payload handler takes its script line (writable, valid for the call only; it may change it in place)
// and the open report, which it borrows, and the scan's pool, which it borrows to share its work
// between threads (handlers with no work to share ignore it); a one-shot command takes the report
// alone. Handlers write only through Log and keep nothing between calls.
#pragma once

#include <cstdio>

class WorkPool;

using PayloadHandler = void (*)(wchar_t* line, FILE* report, WorkPool& pool);
using CommandHandler = void (*)(FILE* report);

// ---- directives/files/file_look.cpp ----
void FileLook(wchar_t* line, FILE* report, WorkPool& pool);

// ---- directives/files/dir_look.cpp ----
void DirLook(wchar_t* line, FILE* report, WorkPool& pool);

// ---- directives/files/file_find.cpp ----
void FileFind(wchar_t* line, FILE* report, WorkPool& pool);

// ---- directives/files/folder_find.cpp ----
void FolderFind(wchar_t* line, FILE* report, WorkPool& pool);

// ---- directives/files/file_assoc.cpp ----
void FileAssoc(wchar_t* line, FILE* report, WorkPool& pool);

// ---- directives/registry/reg_look.cpp ----
// The REG payload line: a key, optionally bracketed, then options (/s or /sub for the whole tree).
void RegLook(wchar_t* line, FILE* report, WorkPool& pool);

// ---- directives/registry/reg_find.cpp ----
// The REGFIND payload line is the term; the line is upper-cased in place after it is echoed.
void RegFind(wchar_t* line, FILE* report, WorkPool& pool);

// ---- directives/registry/csinfo.cpp ----
// The ::csinfo section: the System\Select values and the numbered control sets.
void csinfo(FILE* report);

// ---- directives/registry/safeboot.cpp ----
// The ::safeboot section: the alternate shell and the Minimal and Network sets.
void safeboot(FILE* report);

// ---- directives/system/svc_look.cpp ----
// Writes the section of the service named by `line` (its key name, used exactly as written).
void SvcLook(wchar_t* line, FILE* report, WorkPool& pool);

// ---- directives/system/proc_look.cpp ----
// Writes the section of the running programs whose image file name is `line` (blanks around it ignored).
void ProcLook(wchar_t* line, FILE* report, WorkPool& pool);

// ---- script/text_contexts.cpp: the contexts whose payload is text, not a directive ----
// ENV: the line as typed, " = ", its environment expansion.
void ShowEnvironment(wchar_t* line, FILE* report, WorkPool& pool);
// CONTENTS: the file the expanded line names, as text-mode reading sees it.
void ShowContents(wchar_t* line, FILE* report, WorkPool& pool);
// COMMENT: the line is ignored.
void SkipComment(wchar_t* line, FILE* report, WorkPool& pool);
