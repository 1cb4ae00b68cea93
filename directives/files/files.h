// The file-system directives (FILE, DIR, FILEFIND, FOLDERFIND, ASSOC) and the entry helpers that the
// listings and the searches share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "directives/directives.h"
#include "util/handles.h"
#include "util/path_forms.h"
#include "util/strings.h"
#include "util/work_pool.h"

// ---- entries.cpp: attribute field, times, entry texts ----

// The attribute field: one letter of ATTRIBS per flag of ATTRIBS_DW that is set, "-" for each not set.
extern const wchar_t ATTRIBS[];
extern const DWORD ATTRIBS_DW[];
constexpr size_t NUM_ATTRIBS = 6;
std::wstring AttributeField(DWORD attributes);

// Calendar fields of a file time in UTC; all zero when the time cannot be converted.
SYSTEMTIME FileTimeFields(const FILETIME& time);
// Calendar fields of a file time in local time, by the rules of `zone` (null: the machine's zone) for
// that instant, daylight saving time included (FileTimeToLocalFileTime would apply today's offset to
// every date). The UTC fields when the time cannot be converted.
SYSTEMTIME LocalTimeFields(const FILETIME& time, const TIME_ZONE_INFORMATION* zone = nullptr);
// Appends `value` in decimal with at least `minDigits` digits (zeros in front).
void AppendNumber(std::wstring& text, uint64_t value, unsigned minDigits = 1);
// "hh:mm dd/mm/yyyy" (with `between` in place of the blank): the form every shown time takes.
void AppendTime(std::wstring& text, const SYSTEMTIME& time, const wchar_t* between = L" ");

// "\t<attributes> <size> bytes\t[<created>]\t[<written>]": a listed file. The size is the full one.
std::wstring FileEntryText(DWORD attributes, uint64_t size, const SYSTEMTIME& created, const SYSTEMTIME& written);
// "\t<attributes>\t[<created>]": a listed folder.
std::wstring FolderEntryText(DWORD attributes, const SYSTEMTIME& created);

// The date `days` days before `today` on the real calendar (only year, month and day are set); a
// negative count means today. Dates before the year 1 stop at 1 January of the year 1.
SYSTEMTIME ReferenceDate(const SYSTEMTIME& today, long days);
// True when `date` falls on or after `reference`, comparing year, month and day only.
bool IsOnOrAfter(const SYSTEMTIME& date, const SYSTEMTIME& reference);
// Whether a file created or written at these instants (UTC) passes a date filter whose reference date
// is a local one (from the local clock): each instant's local date is compared with it.
bool PassesLocalDateFilter(const FILETIME& created, const FILETIME& written, const SYSTEMTIME& reference,
                           const TIME_ZONE_INFORMATION* zone = nullptr);

// ---- walk.cpp: the one folder walker and the paths it builds ----

// `folder` + "\\" + `name`, the backslash always inserted.
std::wstring JoinPath(const std::wstring& folder, const wchar_t* name);
// The same, but no second backslash after a folder that already ends with one.
std::wstring ChildPath(const std::wstring& folder, const wchar_t* name);

// Whether a walk enters the folder of this enumeration entry: a folder, not "." or "..", and either no
// reparse point or one whose tag IsReparseTagToEnter accepts.
bool IsFolderToEnter(const WIN32_FIND_DATAW& entry);

// An open folder, shared between the walk and the digests of its files that other threads take: it
// closes when the last of them lets it go.
using SharedFolder = std::shared_ptr<const FileHandle>;

// One file or folder of an enumeration, as the walk hands it over.
struct FoundEntry {
    std::wstring name;      // as the listing gave it, by its length
    std::wstring openPath;  // the entry's own path in the form to open it by
    SharedFolder parent;    // the folder it was listed in, while the walk holds folders open; else null
    DWORD attributes;
    FILETIME created;
    FILETIME written;
    uint64_t size;
    bool enter;  // the walk's enter rule applied to its find data
};
// FileEntryText or FolderEntryText of an entry, by its attributes.
std::wstring EntryText(const FoundEntry& entry);

// What a folder's listing answered, by the Win32 error it ended with.
enum class ListingAnswer { kListed, kFailed };
// kListed for the answers that mean the folder was read: the end of its entries (none or more), a
// name not found (the folder went away meanwhile, or a pattern matched nothing) and access denied,
// which shows as an empty folder; any other error (no handles, no memory, a path too long, a device
// that is not ready) is a folder that could not be listed. For an enumeration with the user's own
// pattern (`byPattern`), a pattern the system refuses as a name names nothing in the folder.
ListingAnswer ClassifyListing(DWORD error, bool byPattern = false);

// Folders a walk holds open on its current path at most. Each open folder is a handle, and under Wine
// one file descriptor of the wine server, whose limit (RLIMIT_NOFILE, often 1,024 to 20,000) every
// handle of every program of the prefix shares; 4,096 levels of one-letter names already make a path
// of 8,192 characters.
constexpr unsigned kMostHeldFolders = 4096;
// How a walk opens a folder it enters at `depth` (the root: 0): by its name relative to its parent
// when the parent is held open and the thread may open relative names (MayOpenRelative), otherwise
// by its whole path; it keeps the folder open for its own entries while the depth is below
// kMostHeldFolders. Deeper folders are listed by path and closed at once.
struct FolderOpenPlan {
    bool relative;
    bool keep;
    bool operator==(const FolderOpenPlan& other) const = default;
};
FolderOpenPlan PlanFolderOpen(bool parentHeld, unsigned depth, bool relativeAllowed);

// What a walk lists. A pattern is matched by the platform (* and ?, ignoring case); null lists every
// name, an empty one none.
struct WalkOptions {
    bool files = false;
    bool rootFiles = true;  // false leaves out the files of the walk's own folder
    const wchar_t* filePattern = nullptr;
    // Folders with a pattern are those it matches; without one, every sub-folder, and each is followed
    // by its own walk when the walk is recursive and enters it.
    bool folders = false;
    const wchar_t* folderPattern = nullptr;
    const SYSTEMTIME* reference = nullptr;  // files created or written on or after this day only
    bool recursive = false;
    bool sorted = false;  // by name, ignoring case; otherwise in enumeration order
    // Which folders a recursive walk enters (tests give a laxer rule to reach the identity guard).
    bool (*enterRule)(const WIN32_FIND_DATAW& entry) = IsFolderToEnter;
    // Called before a listing that failed is tried once more: waits for the work the walk handed out
    // (digests), which holds folders and files open that the listing may have lacked.
    std::function<void()> drain;
    // Called for a folder that could not be listed, with the system's error, where its entries would be.
    std::function<void(const std::wstring& folder, unsigned depth, DWORD error)> unlisted;
};

// Called for each listed entry with the folder that holds it (as shown: the root as given, then the
// names found) and that folder's depth (0: the root).
using WalkVisitor = std::function<void(const std::wstring& folder, const FoundEntry& entry, unsigned depth)>;

// Walks `root` depth first with a stack of its own: a folder's files, then its folders, then the
// folders it enters that were not listed. The root is opened by `openRoot` (the form of `root` to open
// it by); every folder below it by its name relative to its open parent (PlanFolderOpen), and listed
// from its own handle. Links and junctions are listed but never entered, and no reparse point is
// entered into a folder that is already on the walk's current path.
void WalkFolder(const std::wstring& root, const std::wstring& openRoot, const WalkOptions& options,
                const WalkVisitor& visit);
// The same with `openRoot` as FolderOpenPath gives it.
void WalkFolder(const std::wstring& root, const WalkOptions& options, const WalkVisitor& visit);

// Appends " " and the digest of a listed file, or " (Unable to calculate MD5)": a listed file's tail.
// Opened below its parent when the walk held that open and this thread may, by its path otherwise,
// and refused by the attributes of its listing (MD5File).
void AppendDigest(std::wstring& line, const FoundEntry& file);

// ---- search.cpp: what the file and folder searches share ----

// The whole-drive searches start at the system drive, without a trailing backslash.
std::wstring SearchStartFolder();
enum class SearchKind { kFiles, kFolders };
// The whole section: header, then the sorted matches (files with their digests, taken on the threads
// of `pool`) or the "none" line.
void LogSearch(SearchKind kind, const wchar_t* line, FILE* report, WorkPool& pool);

// ---- file_assoc.cpp ----
// The file type name held by the extension key's default value; false with the failure message.
bool GetFileString(const wchar_t* extension, std::wstring& result);
// The command line of the type's open verb, or its failure message.
std::wstring GetAssoc(const wchar_t* fileType);

// The program the user chose for an extension, as found.
struct UserChoice {
    std::wstring progId;       // whole (NULs kept); empty: the choice key holds no readable ProgId
    bool commandRead = false;  // `command` is the ProgId's open command (shown whole), else its failure text
    std::wstring command;
    std::wstring friendlyName;  // the shell's name for its program when it has no command line; may be empty
};
// The line that names it: "User Choice: ", the ProgId, " - " and the command, or the friendly name and
// " (no command line)" (a packaged app), or the command's failure text.
std::wstring UserChoiceLine(const UserChoice& choice);
