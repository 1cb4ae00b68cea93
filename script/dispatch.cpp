#include "script/dispatch.h"

#include "directives/registry/registry.h"
#include "directives/system/system.h"
#include "script/interpreter.h"

// Handlers are plugged in here and nowhere else.
const ContextEntry CONTEXTS[] = {
    {L"FILE", kContextFile, nullptr},
    {L"DIR", kContextDir, nullptr},
    {L"REG", kContextReg, RegLook},
    {L"FILEFIND", kContextFileFind, nullptr},
    {L"FOLDERFIND", kContextFolderFind, nullptr},
    {L"REGFIND", kContextRegFind, RegFind},
    {L"ENV", kContextEnv, nullptr},
    {L"PROCESS", kContextProcess, ProcLook},
    {L"SERVICE", kContextService, SvcLook},
    {L"ASSOC", kContextAssoc, nullptr},
    {L"CONTENTS", kContextContents, nullptr},
    {L"COMMENT", kContextComment, nullptr},
};
const size_t NUM_CONTEXTS = sizeof CONTEXTS / sizeof CONTEXTS[0];

const CommandEntry COMMANDS[] = {
    {L"csinfo", csinfo},
    {L"safeboot", safeboot},
};
const size_t NUM_COMMANDS = sizeof COMMANDS / sizeof COMMANDS[0];
