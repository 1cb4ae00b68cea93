// The context and command tables: which keyword selects which context and which handler carries out
// its payload lines. Contexts whose handler is null write nothing for their payload lines.
#pragma once

#include <cstddef>

#include "directives/directives.h"

struct ContextEntry {
    const wchar_t* keyword;
    int number;
    PayloadHandler handler;  // null for the contexts the interpreter carries out itself
};

struct CommandEntry {
    const wchar_t* word;  // the text after "::"
    CommandHandler handler;
};

extern const ContextEntry CONTEXTS[];
extern const size_t NUM_CONTEXTS;
extern const CommandEntry COMMANDS[];
extern const size_t NUM_COMMANDS;
