// The three contexts whose payload lines are carried out by the interpreter's own handlers.
#include "script/text_contexts.h"

#include <cstddef>
#include <cstdio>
#include <vector>

#include "directives/directives.h"
#include "report/log.h"
#include "util/environment.h"

namespace {

const wchar_t kEnvEquals[] = L" = ";
const wchar_t kContentsDash[] = L" - ";
const wchar_t kContentsOpened[] = L"Opened succesfully.\r\n\r\n";
const wchar_t kContentsUnableToOpen[] = L"Unable to open file.\r\n";

// Few reads for a large file, and a buffer sized once for its conversion.
constexpr DWORD kContentsChunk = 1024 * 1024;

}  // namespace

void ShowEnvironment(wchar_t* line, FILE* report, WorkPool&) {
    Log(line, report);
    Log(kEnvEquals, report);
    Log(ExpandEnvironment(line).c_str(), report);
    Log(kLineEnd, report);
}

bool LogContents(const ChunkReader& read, uint64_t limit, FILE* report) {
    std::vector<wchar_t> units;
    bool heldCr = false;  // a CR at the end of a piece waits for the next piece's first byte
    bool ended = false;   // 0x1A was read: nothing more is read
    const ReadEnd end = ReadChunks(read, limit, kContentsChunk, [&](const unsigned char* bytes, DWORD count) {
        // A piece gives at most one unit per byte, and one more for a CR held from the piece before.
        if (units.size() < static_cast<size_t>(count) + 1) units.resize(static_cast<size_t>(count) + 1);
        wchar_t* out = units.data();
        size_t used = 0;
        for (DWORD i = 0; i < count && !ended; ++i) {
            const unsigned char byte = bytes[i];
            if (heldCr) {
                heldCr = false;
                if (byte == '\n') {
                    out[used++] = L'\n';
                    continue;
                }
                out[used++] = L'\r';
            }
            if (byte == 0x1A) {
                ended = true;
            } else if (byte == '\r') {
                heldCr = true;
            } else if (byte != 0) {
                out[used++] = byte;
            }
        }
        LogChars(out, used, report);
        return !ended;
    });
    if (heldCr) LogChars(L"\r", 1, report);
    // A file that shrank since the open shows what it still had, as text-mode reading would.
    return end != ReadEnd::kFailed;
}

// Copies a file into the report as text-mode reading sees it.
void ShowContents(wchar_t* line, FILE* report, WorkPool&) {
    Log(kLineEnd, report);
    Log(line, report);
    Log(kContentsDash, report);
    // Written out first, so that CONTENTS of the report's own file shows everything up to this line.
    FlushLog(report);
    DiskFile file = OpenFileContent(ExpandEnvironment(line).c_str());
    if (!file) {
        Log(kContentsUnableToOpen, report);
        return;
    }
    Log(kContentsOpened, report);
    // Up to the size at the open: the report's own file, or any other that grows while read, still ends.
    LogContents(HandleReader(file.handle.get()), file.size(), report);
    file.handle.reset();
    Log(kLineEnd, report);
}

void SkipComment(wchar_t*, FILE*, WorkPool&) {}
