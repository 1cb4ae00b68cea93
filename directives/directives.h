// The directive handlers, grouped by the file that holds each. A payload handler takes its script
// line (writable, valid for the call only; it may change it in place) and the open report; a one-shot
// command takes the report alone. Handlers write only through Log and keep nothing between calls.
#pragma once

#include <cstdio>

using PayloadHandler = void (*)(wchar_t* line, FILE* report);
using CommandHandler = void (*)(FILE* report);
