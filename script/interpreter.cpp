#include "script/interpreter.h"

#include "report/log.h"
#include "script/dispatch.h"
#include "util/strings.h"

namespace {

const wchar_t kLineSeparators[] = L"\r\n";
const wchar_t kInvalidContext[] = L"\r\nInvalid Context: ";
const wchar_t kNoContextLine[] = L"\r\nNo Context: ";
const wchar_t kBannerStart[] = L"\r\n========== ";
const wchar_t kBannerEnd[] = L" ==========\r\n";

// A context line: finds and announces the new context, null for an unknown keyword. `text` is what
// follows the colon.
const ContextEntry* EnterContext(wchar_t* text, FILE* report) {
    const ContextEntry* context = FindContext(Strip(text));  // Strip cuts the trailing blanks of `text` itself
    if (context == nullptr) {
        Log(kInvalidContext, report);
        Log(text, report);
        Log(kLineEnd, report);
    } else if (context->banner) {
        Log(kBannerStart, report);
        Log(text, report);
        Log(kBannerEnd, report);
    }
    return context;
}

void HandlePayload(const ContextEntry* context, wchar_t* line, FILE* report, WorkPool& pool) {
    if (context != nullptr) {
        context->handler(line, report, pool);
        return;
    }
    Log(kNoContextLine, report);
    Log(line, report);
    Log(kLineEnd, report);
}

}  // namespace

int GetContext(const wchar_t* keyword) {
    const ContextEntry* context = FindContext(keyword);
    return context != nullptr ? static_cast<int>(context - CONTEXTS) + 1 : 0;
}

void ParseScript(wchar_t* script, FILE* report, WorkPool& pool, LineObserver observer, void* observerContext) {
    // The whole script is split before any line runs, so handlers that split their own lines
    // cannot disturb it.
    std::vector<std::wstring> lines = Split(script, kLineSeparators);

    const ContextEntry* context = nullptr;
    size_t lineNumber = 0;
    for (std::wstring& text : lines) {
        wchar_t* line = text.data();
        if (observer != nullptr) observer(++lineNumber, lines.size(), line, observerContext);
        if (line[0] == L':' && line[1] == L':') {
            if (const CommandEntry* command = FindCommand(line + 2)) command->handler(report);
        } else if (line[0] == L':') {
            context = EnterContext(line + 1, report);
        } else {
            HandlePayload(context, line, report, pool);
        }
        FlushLog(report);  // a report read while the run goes on shows every finished line
    }
}
