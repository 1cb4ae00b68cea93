// The one MD5 that the tests hold digests to: RFC 1321's algorithm as written there, apart from the
// program's fast core.
#pragma once

#include <string>

// The digest of `bytes` as a report shows it: 32 upper-case hexadecimal digits.
std::wstring ReferenceMD5(const std::string& bytes);
// RFC 1321's own digests of nothing and of "abc", the two inputs the tests use most.
inline const std::wstring kEmptyMd5 = L"D41D8CD98F00B204E9800998ECF8427E";
inline const std::wstring kAbcMd5 = L"900150983CD24FB0D6963F7D28E17F72";
