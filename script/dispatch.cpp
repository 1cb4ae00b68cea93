#include "script/dispatch.h"

#include "directives/files/files.h"
#include "directives/registry/registry.h"
#include "directives/system/system.h"
#include "script/interpreter.h"

// Handlers are plugged in here and nowhere else.
const ContextEntry CONTEXTS[] = {
    {L"FILE", kContextFile, FileLook},
    {L"DIR", kContextDir, DirLook},
    {L"REG", kContextReg, RegLook},
    {L"FILEFIND", kContextFileFind, FileFind},
    {L"FOLDERFIND", kContextFolderFind, FolderFind},
    {L"REGFIND", kContextRegFind, RegFind},
    {L"ENV", kContextEnv, nullptr},
    {L"PROCESS", kContextProcess, ProcLook},
    {L"SERVICE", kContextService, SvcLook},
    {L"ASSOC", kContextAssoc, FileAssoc},
    {L"CONTENTS", kContextContents, nullptr},
    {L"COMMENT", kContextComment, nullptr},
};
const size_t NUM_CONTEXTS = sizeof CONTEXTS / sizeof CONTEXTS[0];

const CommandEntry COMMANDS[] = {
    {L"csinfo", csinfo},
    {L"safeboot", safeboot},
};
const size_t NUM_COMMANDS = sizeof COMMANDS / sizeof COMMANDS[0];
