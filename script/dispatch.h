// The context and command tables: which keyword selects which context and which handler carries out
// its payload lines, and which word after "::" runs which command.
#pragma once

#include <cstddef>

#include "directives/directives.h"

struct ContextEntry {
    const wchar_t* keyword;
    PayloadHandler handler;
    bool banner;  // announced in the report when entered
};

struct CommandEntry {
    const wchar_t* word;  // the text after "::"
    CommandHandler handler;
};

// In the order of the context numbers: row i is context i + 1.
extern const ContextEntry CONTEXTS[];
extern const size_t NUM_CONTEXTS;
extern const CommandEntry COMMANDS[];
extern const size_t NUM_COMMANDS;

// The row whose keyword equals `keyword` by _tcscmpi, trying the rows in order; null when none does.
const ContextEntry* FindContext(const wchar_t* keyword);
// The row whose word equals `word` by _tcscmpi; null when none does.
const CommandEntry* FindCommand(const wchar_t* word);
