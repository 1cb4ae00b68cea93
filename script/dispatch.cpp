#include "script/dispatch.h"

#include "directives/directives.h"
#include "util/strings.h"

// Handlers are plugged in here and nowhere else.
const ContextEntry CONTEXTS[] = {
    {L"FILE", FileLook, true},       {L"DIR", DirLook, true},           {L"REG", RegLook, true},
    {L"FILEFIND", FileFind, true},   {L"FOLDERFIND", FolderFind, true}, {L"REGFIND", RegFind, true},
    {L"ENV", ShowEnvironment, true}, {L"PROCESS", ProcLook, true},      {L"SERVICE", SvcLook, true},
    {L"ASSOC", FileAssoc, true},     {L"CONTENTS", ShowContents, true}, {L"COMMENT", SkipComment, false},
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
