// Expansion of %NAME% references against the process environment.
#pragma once

#include <string>
#include <vector>

// Expands `text` as ExpandEnvironmentStringsW does: a reference to a set variable (name matched
// without regard to case) becomes its value, anything else is copied as written. Texts too long for
// the system call are expanded here instead, so the result is never cut. The x86 build
// under WOW64 expands the program folders to the native ones, as the x64 build does (below).
std::wstring ExpandEnvironment(const wchar_t* text);
std::wstring ExpandEnvironment(const wchar_t* text, bool nativeProgramFolders);

// The variable whose value a reference to `name` takes. WOW64 gives a 32-bit process ProgramFiles and
// CommonProgramFiles with the "(x86)" folders and keeps the native ones in ProgramW6432 and
// CommonProgramW6432 (Windows 7 on), and PROCESSOR_ARCHITECTURE with "x86" and the machine's own in
// PROCESSOR_ARCHITEW6432: with `nativeProgramFolders` each of the first names reads its native one.
std::wstring NativeVariableName(const std::wstring& name, bool nativeProgramFolders);

// While set, every expansion reads `variables` (NAME=value entries, as an environment block holds
// them) instead of the process environment: a run that describes the signed-in user while the program
// runs as another account. Null puts the process environment back. Set and cleared outside the scan's
// threads, which only read it.
void SetExpansionVariables(const std::vector<std::wstring>* variables);
// The value of `name` (case ignored) among NAME=value entries; false when none has it.
bool FindVariable(const std::vector<std::wstring>& variables, const std::wstring& name, std::wstring& value);
// `text` expanded by the system call's rules against `variables` alone.
std::wstring ExpandWithVariables(const std::vector<std::wstring>& variables, const wchar_t* text);
