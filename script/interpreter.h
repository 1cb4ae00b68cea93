// The script interpreter: splits a script into lines, follows the current context, writes the context
// banners and hands every payload line to the handler of its context and every command line to its
// command (script/dispatch.h holds both tables).
#pragma once

#include <cstddef>
#include <cstdio>

// The number of the context keyword that equals `keyword` by _tcscmpi (FILE is 1, COMMENT 12), or 0.
int GetContext(const wchar_t* keyword);

// Called before each line is interpreted: its 1-based number, the number of lines, the line itself.
using LineObserver = void (*)(size_t lineNumber, size_t lineCount, const wchar_t* line, void* observerContext);

class WorkPool;

// Interprets the whole script into the report. `script` is split in place; the caller only frees it.
// Sections share their work with `pool` (OnThisThread() runs everything on the calling thread);
// `observer`, when not null, sees each line first.
void ParseScript(wchar_t* script, FILE* report, WorkPool& pool, LineObserver observer, void* observerContext);
