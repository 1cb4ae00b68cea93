#include "util/wildcard.h"

#include <windows.h>

#include <algorithm>
#include <vector>

extern "C" WCHAR NTAPI RtlUpcaseUnicodeChar(WCHAR source);

std::wstring TranslateFindPattern(const std::wstring& pattern) {
    // The path conversion drops the last component's trailing dots and blanks; whether the pattern
    // ended in a dot is remembered, so that "*." still means names without a dot.
    bool endsInDot = !pattern.empty() && pattern.back() == L'.';
    size_t length = pattern.size();
    while (length > 0 && (pattern[length - 1] == L'.' || pattern[length - 1] == L' ')) --length;
    std::wstring expression = pattern.substr(0, length);
    if (expression == L"*.*") return L"*";

    for (size_t i = 0; i < expression.size(); ++i) {
        wchar_t c = expression[i];
        if (c == L'.' && i > 0 && expression[i - 1] == L'*') expression[i - 1] = kDosStar;
        if (c == L'?' || c == L'*') {
            if (c == L'?') expression[i] = kDosQm;
            if (i > 0 && expression[i - 1] == L'.') expression[i - 1] = kDosDot;
        }
    }
    if (endsInDot && !expression.empty() && expression.back() == L'*') expression.back() = kDosStar;
    return expression;
}

bool IsNameInExpression(const std::wstring& expression, const std::wstring& name) {
    if (name.empty() || expression.empty()) return name.empty() && expression.empty();

    // The set of expression positions reached by the name's characters so far; position `end` means
    // the whole expression is matched. One step per name character, and one more after the last, in
    // which only the forms that can match nothing move on.
    const size_t end = expression.size();
    std::wstring upper(expression);
    for (wchar_t& c : upper) c = RtlUpcaseUnicodeChar(c);
    std::vector<char> reached(end + 1, 0), next(end + 1, 0);
    reached[0] = 1;
    // Where the name's last dot is: DOS_STAR may not take it.
    size_t lastDot = name.rfind(L'.');

    for (size_t at = 0; at <= name.size(); ++at) {
        const bool finished = at == name.size();
        if (finished && reached[end]) return true;
        const wchar_t c = finished ? 0 : RtlUpcaseUnicodeChar(name[at]);
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (size_t from = 0; from < end; ++from) {
            if (!reached[from]) continue;
            // Follow the forms that match nothing as far as they go; each one that takes `c` marks
            // where the next character starts. Running off the expression's end while looking at `c`
            // counts as the whole expression matched through `c`, as the file system counts it.
            for (size_t q = from;; ++q) {
                if (q == end) {
                    next[end] = any = true;
                    break;
                }
                const wchar_t e = upper[q];
                if (e == L'*') {
                    if (!finished) next[q] = any = true;
                    continue;
                }
                if (e == kDosStar) {
                    if (!finished) {
                        // At the last dot the star cannot stay: it ends there, the dot consumed.
                        if (c != L'.' || at != lastDot) {
                            next[q] = any = true;
                        } else {
                            next[q + 1] = any = true;
                        }
                    }
                    continue;
                }
                if (e == kDosQm) {
                    if (finished || c == L'.') continue;
                    next[q + 1] = any = true;
                    break;
                }
                if (e == kDosDot) {
                    if (finished) continue;
                    if (c == L'.') {
                        next[q + 1] = any = true;
                        break;
                    }
                }
                if (finished) break;
                if (e == L'?' || e == c) next[q + 1] = any = true;
                break;
            }
        }
        if (!any) return false;
        reached.swap(next);
    }
    return reached[end] != 0;
}

bool MatchesFindPattern(const std::wstring& pattern, const std::wstring& longName, const std::wstring& shortName) {
    std::wstring expression = TranslateFindPattern(pattern);
    return IsNameInExpression(expression, longName) ||
           (!shortName.empty() && IsNameInExpression(expression, shortName));
}

bool IsPlainFindPattern(const std::wstring& pattern) {
    if (pattern.find_first_of(L"?<>\"") != std::wstring::npos) return false;
    if (pattern.find(L"..") != std::wstring::npos) return false;
    size_t last = pattern.find_last_not_of(L' ');
    return last == std::wstring::npos || pattern[last] != L'.';
}
