#include "script/interpreter.h"

#include <cstdlib>
#include <cwchar>

#include "report/log.h"
#include "script/dispatch.h"
#include "util/environment.h"
#include "util/owned.h"
#include "util/strings.h"

namespace {

const wchar_t kLineSeparators[] = L"\r\n";
const wchar_t kInvalidContext[] = L"\r\nInvalid Context: ";
const wchar_t kNoContextLine[] = L"\r\nNo Context: ";
const wchar_t kBannerStart[] = L"\r\n========== ";
const wchar_t kBannerEnd[] = L" ==========\r\n";
const wchar_t kLineEnd[] = L"\r\n";
const wchar_t kEnvEquals[] = L" = ";
const wchar_t kContentsDash[] = L" - ";
const wchar_t kContentsOpened[] = L"Opened succesfully.\r\n\r\n";
const wchar_t kContentsUnableToOpen[] = L"Unable to open file.\r\n";

void RunCommand(const wchar_t* word, FILE* report) {
    for (size_t i = 0; i < NUM_COMMANDS; ++i) {
        if (_tcscmpi(word, COMMANDS[i].word) == 0) {
            if (COMMANDS[i].handler != nullptr) COMMANDS[i].handler(report);
            return;
        }
    }
}

// A context line: sets and announces the new context. `text` is what follows the colon.
int EnterContext(wchar_t* text, FILE* report) {
    int context = GetContext(Strip(text));  // Strip cuts the trailing blanks of `text` itself
    if (context == kNoContext) {
        Log(kInvalidContext, report);
        Log(text, report);
        Log(kLineEnd, report);
    } else if (context != kContextComment) {
        Log(kBannerStart, report);
        Log(text, report);
        Log(kBannerEnd, report);
    }
    return context;
}

void ShowEnvironment(const wchar_t* line, FILE* report) {
    Log(line, report);
    Log(kEnvEquals, report);
    Log(ExpandEnvironment(line).get(), report);
    Log(kLineEnd, report);
}

// Copies a file into the report as text-mode reading sees it: CR LF becomes LF, 0x1A ends the file,
// each other byte becomes the code unit of the same value, and zero bytes are left out.
void ShowContents(const wchar_t* line, FILE* report) {
    Log(kLineEnd, report);
    Log(line, report);
    Log(kContentsDash, report);
    FILE* file = _wfopen(ExpandEnvironment(line).get(), L"r");
    if (file == nullptr) {
        Log(kContentsUnableToOpen, report);
        return;
    }
    Log(kContentsOpened, report);
    constexpr size_t kChunk = 64 * 1024;
    auto* bytes = static_cast<unsigned char*>(malloc(kChunk));
    auto* units = static_cast<wchar_t*>(malloc(kChunk * sizeof(wchar_t)));
    if (bytes == nullptr || units == nullptr) abort();
    size_t count;
    while ((count = fread(bytes, 1, kChunk, file)) > 0) {
        size_t kept = 0;
        for (size_t i = 0; i < count; ++i) {
            if (bytes[i] != 0) units[kept++] = bytes[i];
        }
        LogChars(units, kept, report);
    }
    free(units);
    free(bytes);
    fclose(file);
    Log(kLineEnd, report);
}

void HandlePayload(int context, wchar_t* line, FILE* report) {
    switch (context) {
        case kNoContext:
            Log(kNoContextLine, report);
            Log(line, report);
            Log(kLineEnd, report);
            return;
        case kContextComment:
            return;
        case kContextEnv:
            ShowEnvironment(line, report);
            return;
        case kContextContents:
            ShowContents(line, report);
            return;
        default:
            break;
    }
    for (size_t i = 0; i < NUM_CONTEXTS; ++i) {
        if (CONTEXTS[i].number == context) {
            if (CONTEXTS[i].handler != nullptr) CONTEXTS[i].handler(line, report);
            return;
        }
    }
}

}  // namespace

int GetContext(const wchar_t* keyword) {
    for (size_t i = 0; i < NUM_CONTEXTS; ++i) {
        if (_tcscmpi(keyword, CONTEXTS[i].keyword) == 0) return CONTEXTS[i].number;
    }
    return kNoContext;
}

void ParseScript(wchar_t* script, FILE* report) { ParseScript(script, report, nullptr, nullptr); }

void ParseScript(wchar_t* script, FILE* report, LineObserver observer, void* observerContext) {
    // The whole script is split before any line runs, so handlers that split their own lines
    // cannot disturb it.
    StringList lines(Split(script, kLineSeparators));
    size_t lineCount = 0;
    for (String* node = lines.get(); node != nullptr; node = node->next) ++lineCount;

    int context = kNoContext;
    size_t lineNumber = 0;
    for (String* node = lines.get(); node != nullptr; node = node->next) {
        wchar_t* line = node->text;
        if (observer != nullptr) observer(++lineNumber, lineCount, line, observerContext);
        if (line[0] == L':' && line[1] == L':') {
            RunCommand(line + 2, report);
        } else if (line[0] == L':') {
            context = EnterContext(line + 1, report);
        } else {
            HandlePayload(context, line, report);
        }
    }
}
