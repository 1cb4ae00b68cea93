#include "util/strings.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "util/disk_file.h"
#include "util/owned.h"

namespace {

template <typename Node>
Node* AppendNode(Node* list, Node* node) {
    node->last = node;
    if (list == nullptr) return node;
    list->last->next = node;
    list->last = node;
    return list;
}

template <typename Node>
Node* NewNode() {
    auto* node = static_cast<Node*>(calloc(1, sizeof(Node)));
    if (node == nullptr) abort();
    return node;
}

// Stable bottom-up merge sort of a singly linked list; `less` is a strict order on nodes.
// Runs in O(n log n) with no recursion and no allocation.
template <typename Node, typename Key>
Node* MergeSort(Node* list, Key key) {
    if (list == nullptr || list->next == nullptr) return list;
    for (size_t width = 1;; width *= 2) {
        Node* rest = list;
        Node* head = nullptr;
        Node** tail = &head;
        size_t merges = 0;
        while (rest != nullptr) {
            ++merges;
            Node* left = rest;
            size_t leftSize = 0;
            while (rest != nullptr && leftSize < width) {
                rest = rest->next;
                ++leftSize;
            }
            Node* right = rest;
            size_t rightSize = 0;
            while (rest != nullptr && rightSize < width) {
                rest = rest->next;
                ++rightSize;
            }
            // Take from the right only when it is strictly smaller: equal texts keep their order.
            while (leftSize > 0 || rightSize > 0) {
                Node* taken;
                if (rightSize == 0 || (leftSize > 0 && _tcscmpi(key(right), key(left)) >= 0)) {
                    taken = left;
                    left = left->next;
                    --leftSize;
                } else {
                    taken = right;
                    right = right->next;
                    --rightSize;
                }
                *tail = taken;
                tail = &taken->next;
            }
        }
        *tail = nullptr;
        list = head;
        if (merges <= 1) break;
    }
    Node* last = list;
    while (last->next != nullptr) last = last->next;
    list->last = last;
    return list;
}

}  // namespace

String* addString(String* list, const wchar_t* text) {
    auto* node = NewNode<String>();
    node->text = CopyText(text).release();
    return AppendNode(list, node);
}

void freeString(String* list) {
    while (list != nullptr) {
        String* next = list->next;
        free(list->text);
        free(list);
        list = next;
    }
}

String* SortStrings(String* list) {
    return MergeSort(list, [](const String* node) { return node->text; });
}

DString* addStrings(DString* list, const wchar_t* first, const wchar_t* second) {
    auto* node = NewNode<DString>();
    node->first = CopyText(first).release();
    node->second = CopyText(second).release();
    return AppendNode(list, node);
}

void freeStrings(DString* list) {
    while (list != nullptr) {
        DString* next = list->next;
        free(list->first);
        free(list->second);
        free(list);
        list = next;
    }
}

DString* SortDStrings(DString* list) {
    return MergeSort(list, [](const DString* node) { return node->first; });
}

int DoesFolderExist(const wchar_t* path) {
    DWORD attributes = PathAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

wchar_t* Strip(wchar_t* text) {
    size_t length = wcslen(text);
    while (length > 0 && text[length - 1] == L' ') text[--length] = L'\0';
    while (*text == L' ') ++text;
    return text;
}

String* Split(wchar_t* text, const wchar_t* separators) {
    String* tokens = nullptr;
    wchar_t* cursor = text;
    for (;;) {
        cursor += wcsspn(cursor, separators);
        if (*cursor == L'\0') break;
        wchar_t* token = cursor;
        cursor += wcscspn(cursor, separators);
        bool more = *cursor != L'\0';
        *cursor = L'\0';
        tokens = addString(tokens, token);
        if (!more) break;
        ++cursor;
    }
    return tokens;
}

void _tcstoupr(wchar_t* text) {
    for (; *text != L'\0'; ++text) *text = FoldCase(*text);
}

bool EndsWithIgnoringCase(const std::wstring& text, const wchar_t* suffix) {
    const size_t length = wcslen(suffix);
    return text.size() >= length && _tcscmpi(text.c_str() + text.size() - length, suffix) == 0;
}

int _tcscmpi(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        auto x = static_cast<uint16_t>(FoldCase(*a));
        auto y = static_cast<uint16_t>(FoldCase(*b));
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}
