// The script interpreter: splits a script into lines, follows the current context, writes the context
// banners and hands every payload line to the handler of its context and every command line to its
// command (script/dispatch.h holds both tables).
#pragma once

#include <cstddef>
#include <cstdio>

// Context numbers, as GetContext returns them; 0 is "no context".
enum Context : int {
    kNoContext = 0,
    kContextFile = 1,
    kContextDir = 2,
    kContextReg = 3,
    kContextFileFind = 4,
    kContextFolderFind = 5,
    kContextRegFind = 6,
    kContextEnv = 7,
    kContextProcess = 8,
    kContextService = 9,
    kContextAssoc = 10,
    kContextContents = 11,
    kContextComment = 12,
};

// The number of the context keyword that equals `keyword` by _tcscmpi, or 0.
int GetContext(const wchar_t* keyword);

// Called before each line is interpreted: its 1-based number, the number of lines, the line itself.
using LineObserver = void (*)(size_t lineNumber, size_t lineCount, const wchar_t* line, void* observerContext);

class WorkPool;

// Interprets the whole script into the report. `script` is split in place; the caller only frees it.
// Sections share their work with `pool`; without one everything runs on the calling thread.
void ParseScript(wchar_t* script, FILE* report);
void ParseScript(wchar_t* script, FILE* report, WorkPool& pool, LineObserver observer, void* observerContext);
