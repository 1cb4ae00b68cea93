// The walk that REG /s and REGFIND share, proved on the shapes of tree that reach each branch of its
// hand-over: every walk ends, with 1, 2 and 4 threads, on one core or beside a busy one, and writes what
// the walk on one thread writes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "directives/registry/registry.h"
#include "tests/support/native_keys.h"
#include "tests/support/pools.h"
#include "tests/support/test_support.h"
#include "util/test_hooks.h"

namespace {

using namespace std::string_literals;

TEST(KeyWalk, AWalkGivesAwayOnlyWhatLeavesItAKeyToEnter) {
    const struct {
        std::vector<size_t> left;  // sub-keys left per frame, the root first
        KeysToGive give;
    } kCases[] = {
        {{}, {}},             // nothing open
        {{0, 0}, {}},         // nothing left
        {{1}, {}},            // the last key stays: a chain is walked by one thread
        {{0, 0, 1}, {}},      // the same at any depth
        {{2}, {0, 1}},        // half of two
        {{7}, {0, 3}},        // the later half, rounded down
        {{0, 5, 9}, {1, 2}},  // the shallowest frame with any left gives
        {{1, 0, 3}, {0, 1}},  // its last key, since a deeper frame keeps work
        {{0, 1, 0, 0}, {}},   // its last key, with nothing deeper: kept
        {{1, 1}, {0, 1}},     // a comb: the sibling goes, the walk goes on below
        {{5000}, {0, 2500}},  // a star
        {{0, 0, 0, 0, 0, 2}, {5, 1}},
    };
    for (const auto& row : kCases) {
        const KeysToGive give = ChooseKeysToGive(row.left);
        EXPECT_EQ(give, row.give) << ::testing::PrintToString(row.left) << " gave " << give.count << " of frame "
                                  << give.frame;
    }
}

// A tree of keys below a test key: each entry names its parent (an index, -1 for the test key).
struct Shape {
    const char* name;
    std::vector<int> parents;
};

Shape Chain(int levels) {
    Shape shape{"chain", {}};
    for (int level = 0; level < levels; ++level) shape.parents.push_back(level - 1);
    return shape;
}

// A chain whose every key also has a leaf.
Shape Comb(int levels) {
    Shape shape{"comb", {}};
    int spine = -1;
    for (int level = 0; level < levels; ++level) {
        shape.parents.push_back(spine);  // the leaf
        shape.parents.push_back(spine);  // the next key of the spine
        spine = static_cast<int>(shape.parents.size()) - 1;
    }
    return shape;
}

Shape Star(int keys) { return Shape{"star", std::vector<int>(static_cast<size_t>(keys), -1)}; }

Shape BinaryTree(int levels) {
    Shape shape{"binary tree", {}};
    for (int key = 0; key < (1 << levels) - 1; ++key) shape.parents.push_back(key == 0 ? -1 : (key - 1) / 2);
    return shape;
}

Shape RandomTree(unsigned seed, int keys) {
    Shape shape{"random tree", {}};
    std::mt19937 random(seed);
    for (int key = 0; key < keys; ++key) {
        // Below one of the latest keys, so that the tree is deep as well as wide.
        std::uniform_int_distribution<int> pick(key > 8 ? key - 8 : -1, key - 1);
        shape.parents.push_back(pick(random));
    }
    return shape;
}

// Makes the shape's keys below `key`: key i is named "k<i>", and every third holds a value.
void MakeShape(const TestKey& key, const Shape& shape) {
    std::vector<RegKey> made;
    made.reserve(shape.parents.size());
    for (size_t i = 0; i < shape.parents.size(); ++i) {
        const int parent = shape.parents[i];
        HKEY under = parent < 0 ? key.key() : made[static_cast<size_t>(parent)].get();
        RegKey child;
        const std::wstring name = L"k" + std::to_wstring(i);
        ASSERT_EQ(RegCreateKeyExW(under, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, child.put(), nullptr),
                  ERROR_SUCCESS)
            << name;
        if (i % 3 == 0) {
            const std::wstring data = L"data of k" + std::to_wstring(i);
            RegSetValueExW(child.get(), L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        }
        made.push_back(std::move(child));
    }
}

// Opens of keys made on another thread than the walk's own, while a walk is watched.
std::atomic<DWORD> walkThread{0};
std::atomic<int> opensElsewhere{0};
void CountOpensElsewhere() {
    if (GetCurrentThreadId() != walkThread.load()) ++opensElsewhere;
}

// How a key is walked, and what one thread's walks write.
struct Walks {
    const wchar_t* term = L"K1";  // what the search looks for, found in names and in value data
    bool search = true;           // REGFIND's search as well as REG /s
    bool oneThread = false;       // no walk may hand anything over: the walk's own thread opens every key
    std::wstring reg = {};        // what REG /s writes on one thread
    std::wstring found = {};      // the search's findings on one thread, each followed by "|"
};

void ExpectEveryWalkOfTheKeyEndsAsOneThreadsDoes(const TestKey& key, const std::string& name, size_t keys,
                                                 Walks& walks);

// Walks the shape with REG /s and with REGFIND's search on a pool of 2 and of 4 threads, as the machine
// is, held to one core and beside a busy core; each must end and write what one thread writes.
void ExpectEveryWalkEndsAsOneThreadsDoes(const Shape& shape, Walks walks = {}) {
    TestKey key(L"KeyWalkShape");
    MakeShape(key, shape);
    ExpectEveryWalkOfTheKeyEndsAsOneThreadsDoes(key, shape.name, shape.parents.size(), walks);
}

void ExpectEveryWalkOfTheKeyEndsAsOneThreadsDoes(const TestKey& key, const std::string& name, size_t keys,
                                                 Walks& walks) {
    const std::wstring regLine = L"HKCU\\" + key.path() + L" /s";
    auto find = [&](WorkPool& pool) {
        std::vector<std::wstring> found;
        FindRegs(walks.term, key.key(), L"X", found, pool);
        std::wstring all;
        for (const std::wstring& finding : found) all += finding + L"|";
        return all;
    };
    walks.reg = RunHandler(RegLook, regLine, OnThisThread());
    walks.found = find(OnThisThread());
    ASSERT_GT(walks.reg.size(), keys * 10) << name;
    ASSERT_FALSE(walks.found.empty()) << name;
    for (MachineLoad load : kMachineLoads) {
        for (unsigned threads : {2u, 4u}) {
            const std::string walk = name + ", " + std::to_string(threads) + " threads, " + LoadName(load);
            SCOPED_TRACE(walk);
            UnderLoad underLoad(load);
            WorkPool pool(threads);
            opensElsewhere = 0;
            if (walks.oneThread) WatchOpens(CountOpensElsewhere);
            // Each walk takes well under a second; a hand-over that passes work around without doing it
            // never ends.
            std::wstring reg, found;
            EndsWithinOrStops(walk, [&] {
                walkThread = GetCurrentThreadId();
                reg = RunHandler(RegLook, regLine, pool);
            });
            EXPECT_EQ(reg, walks.reg);
            WatchOpens(nullptr);
            EXPECT_EQ(opensElsewhere.load(), 0) << "keys of a chain were handed to other threads";
            if (walks.search) {
                EndsWithinOrStops(walk, [&] { found = find(pool); });
                EXPECT_EQ(found, walks.found);
            }
        }
    }
}

// Three levels lie above the test key's sub-keys: 509 more make 512, as deep as the registry allows.
// Every key has one sub-key, so no walk may give away its last (it would pass from thread to thread).
// What one thread writes is every level, the last included: REG /s each key with its value, and the
// search k50, k500 to k508 and the values of k501, k504 and k507.
TEST(KeyWalk, TheDeepestChain) {
    TestKey key(L"KeyWalkShape");
    MakeShape(key, Chain(509));
    Walks walks{.term = L"K50", .oneThread = true};
    ExpectEveryWalkOfTheKeyEndsAsOneThreadsDoes(key, "chain", 509, walks);
    std::wstring path = L"HKEY_CURRENT_USER\\" + key.path(), searched = L"X";
    std::wstring reg = L"\r\n[" + path + L"]\r\n(No values found)\r\n", found;
    for (int i = 0; i < 509; ++i) {
        const std::wstring name = L"k" + std::to_wstring(i), value = L"\"v\"=\"data of " + name + L"\"";
        path += L"\\" + name;
        searched += L"\\" + name;
        reg += L"\r\n[" + path + L"]\r\n" + (i % 3 == 0 ? value : L"(No values found)") + L"\r\n";
        if (name.starts_with(L"k50")) found += L"[" + searched + L"]|";
        if (name.starts_with(L"k50") && i % 3 == 0) found += L"[" + searched + L"]\r\n" + value + L"|";
    }
    EXPECT_EQ(walks.reg, reg + L"\r\n");
    EXPECT_EQ(walks.found, found);
}
// Each key of the chain has a leaf beside the next: every hand-over is of one key.
TEST(KeyWalk, AComb) { ExpectEveryWalkEndsAsOneThreadsDoes(Comb(250)); }
// One key with thousands of leaves: halves of what is left, again and again (the search hands over in
// the same way, and the other shapes cover it).
TEST(KeyWalk, AStar) { ExpectEveryWalkEndsAsOneThreadsDoes(Star(5000), {.search = false}); }
TEST(KeyWalk, AFullBinaryTree) { ExpectEveryWalkEndsAsOneThreadsDoes(BinaryTree(11)); }
// Links entered once, met again, and waited for by walks handed work further on: every walk ends
// and writes what one thread writes, lines for links met again included.
TEST(KeyWalk, AWebOfLinks) {
    TestKey key(L"KeyWalkShape");
    NativeKeys native(key);
    MakeLinkWeb(key, native, 7, 12);
    Walks walks;
    ExpectEveryWalkOfTheKeyEndsAsOneThreadsDoes(key, "web of links", 7 * 15, walks);
}
TEST(KeyWalk, RandomTrees) {
    for (unsigned seed : {7u, 1234u, 99u}) ExpectEveryWalkEndsAsOneThreadsDoes(RandomTree(seed, 600));
}

}  // namespace
