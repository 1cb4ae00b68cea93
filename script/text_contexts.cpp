// The three contexts whose payload lines are carried out by the interpreter's own handlers.
#include <cstddef>
#include <cstdio>
#include <vector>

#include "directives/directives.h"
#include "report/log.h"
#include "util/environment.h"
#include "util/handles.h"

namespace {

const wchar_t kLineEnd[] = L"\r\n";
const wchar_t kEnvEquals[] = L" = ";
const wchar_t kContentsDash[] = L" - ";
const wchar_t kContentsOpened[] = L"Opened succesfully.\r\n\r\n";
const wchar_t kContentsUnableToOpen[] = L"Unable to open file.\r\n";

constexpr size_t kContentsChunk = 64 * 1024;

}  // namespace

void ShowEnvironment(wchar_t* line, FILE* report) {
    Log(line, report);
    Log(kEnvEquals, report);
    Log(ExpandEnvironment(line).get(), report);
    Log(kLineEnd, report);
}

// Copies a file into the report as text-mode reading sees it: CR LF becomes LF, 0x1A ends the file,
// each other byte becomes the code unit of the same value, and zero bytes are left out.
void ShowContents(wchar_t* line, FILE* report) {
    Log(kLineEnd, report);
    Log(line, report);
    Log(kContentsDash, report);
    Stream file(_wfopen(ExpandEnvironment(line).get(), L"r"));
    if (!file) {
        Log(kContentsUnableToOpen, report);
        return;
    }
    Log(kContentsOpened, report);
    std::vector<unsigned char> bytes(kContentsChunk);
    std::vector<wchar_t> units(kContentsChunk);
    size_t count;
    while ((count = fread(bytes.data(), 1, bytes.size(), file.get())) > 0) {
        size_t kept = 0;
        for (size_t i = 0; i < count; ++i) {
            if (bytes[i] != 0) units[kept++] = bytes[i];
        }
        LogChars(units.data(), kept, report);
    }
    file.reset();
    Log(kLineEnd, report);
}

void SkipComment(wchar_t*, FILE*) {}
