#include "script/dispatch.h"

#include "directives/directives.h"
#include "script/interpreter.h"
#include "util/strings.h"

// Handlers are plugged in here and nowhere else.
const ContextEntry CONTEXTS[] = {
    {L"FILE", kContextFile, FileLook, true},
    {L"DIR", kContextDir, DirLook, true, DirLook},
    {L"REG", kContextReg, RegLook, true, RegLook},
    {L"FILEFIND", kContextFileFind, FileFind, true, FileFind},
    {L"FOLDERFIND", kContextFolderFind, FolderFind, true},
    {L"REGFIND", kContextRegFind, RegFind, true, RegFind},
    {L"ENV", kContextEnv, ShowEnvironment, true},
    {L"PROCESS", kContextProcess, ProcLook, true},
    {L"SERVICE", kContextService, SvcLook, true},
    {L"ASSOC", kContextAssoc, FileAssoc, true},
    {L"CONTENTS", kContextContents, ShowContents, true},
    {L"COMMENT", kContextComment, SkipComment, false},
};
const size_t NUM_CONTEXTS = sizeof CONTEXTS / sizeof CONTEXTS[0];

const CommandEntry COMMANDS[] = {
    {L"csinfo", csinfo},
    {L"safeboot", safeboot},
};
const size_t NUM_COMMANDS = sizeof COMMANDS / sizeof COMMANDS[0];

const ContextEntry* FindContext(const wchar_t* keyword) {
    for (const ContextEntry& entry : CONTEXTS) {
        if (_tcscmpi(keyword, entry.keyword) == 0) return &entry;
    }
    return nullptr;
}

const CommandEntry* FindCommand(const wchar_t* word) {
    for (const CommandEntry& entry : COMMANDS) {
        if (_tcscmpi(word, entry.word) == 0) return &entry;
    }
    return nullptr;
}
