// The walk of a key's whole tree that REG /s and REGFIND share, and its hand-over of work to the
// scan's other threads.
//
// Under Wine each registry call waits for the wine server's answer, so one walk leaves the cores
// mostly idle; several walks over different parts of a tree at once take a fraction of the time. A
// walk that sees a thread of the pool waiting gives it part of what it has left, placed in the output
// right after everything the walk still writes itself.
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "directives/registry/registry.h"

namespace {

const wchar_t kBackslash = L'\\';

// A key a walk opened, held by the frames of every thread that goes on below it, whichever ends last.
using SharedKey = std::shared_ptr<RegKey>;

// One open key of a walk with the sub-keys it has left to enter.
struct Frame {
    SharedKey owned;  // empty for the walk's root, which the section holds
    HKEY key;
    std::vector<std::wstring> subkeys;  // whole names, in the walk's order
    size_t next;
    size_t pathLength;     // its path is path[0, pathLength)
    size_t resolvedCount;  // resolved[0, resolvedCount) are the resolved names of the keys down to it
};

// What every walk of one tree shares, whatever thread it runs on.
struct Tree {
    bool sorted;
    WorkPool& pool;
    OrderedOutput& output;
    const KeyVisitor& visit;
    JobGroup jobs;
};

// One walk over part of the tree, on one thread, writing to one part of the output.
struct Walk {
    Walk(Tree& shared, OrderedOutput::Part* own) : tree(shared), part(own) {}

    Tree& tree;
    OrderedOutput::Part* part;
    std::vector<Frame> stack;
    std::vector<ResolvedName> resolved;
    std::wstring path;
    KeyReader reader;
    // A walk handed work enters a key of it before it gives any away: every hand-over is progress.
    bool entered = false;
};

void Visit(Walk& walk, size_t nameStart, HKEY key, const KeyCounts& counts) {
    walk.tree.visit(KeyVisit{walk.path, nameStart, key, counts, walk.reader},
                    [&walk](const std::wstring& text) { walk.tree.output.Write(walk.part, text); });
}

// Pushes the open key at the end of the walk's path, with its sub-keys, when it has any.
void Push(Walk& walk, SharedKey owned, HKEY key, const KeyCounts& counts, std::wstring resolved) {
    std::vector<std::wstring> subkeys = GetSubkeyNames(key, counts.subkeys, walk.reader);
    if (subkeys.empty()) return;
    if (walk.tree.sorted) SortKeyNames(subkeys);
    walk.resolved.push_back(std::make_shared<const std::wstring>(std::move(resolved)));
    walk.stack.push_back(Frame{std::move(owned), key, std::move(subkeys), 0, walk.path.size(), walk.resolved.size()});
}

// Visits the sub-key `name` of `parent`, whose path is path[0, pathLength), and pushes it when it is
// to be entered. A key without sub-keys shows the same entered or not, so only one with sub-keys
// needs the resolved name that tells whether it is on the path already.
void Enter(Walk& walk, HKEY parent, size_t pathLength, const std::wstring& name) {
    walk.path.resize(pathLength);
    walk.path += kBackslash;
    const size_t nameStart = walk.path.size();
    walk.path += VisibleName(name);
    RegKey opened = OpenSubkey(parent, name);
    if (!opened) {
        Visit(walk, nameStart, nullptr, KeyCounts{});
        return;
    }
    auto owned = std::make_shared<RegKey>(std::move(opened));
    HKEY key = owned->get();
    const KeyCounts counts = FitBuffers(key, walk.reader);
    Visit(walk, nameStart, key, counts);
    if (counts.subkeys == 0) return;
    std::wstring resolved = ResolvedKeyName(key, walk.reader);
    if (!EntersKey(walk.resolved, resolved)) return;
    Push(walk, std::move(owned), key, counts, std::move(resolved));
}

void Run(Walk& walk);

// Hands part of what the walk has left to a walk of its own, queued for the thread that waits.
void GiveAway(Walk& walk) {
    std::vector<size_t> left;
    left.reserve(walk.stack.size());
    for (const Frame& frame : walk.stack) left.push_back(frame.subkeys.size() - frame.next);
    const KeysToGive give = ChooseKeysToGive(left);
    if (give.count == 0) return;
    Frame& frame = walk.stack[give.frame];
    const size_t from = frame.subkeys.size() - give.count;
    std::vector<std::wstring> given(std::make_move_iterator(frame.subkeys.begin() + from),
                                    std::make_move_iterator(frame.subkeys.end()));
    frame.subkeys.resize(from);
    Tree& tree = walk.tree;
    OrderedOutput::Part* part = tree.output.InsertAfter(walk.part);
    tree.pool.Offer(tree.jobs, [&tree, part, owned = frame.owned, key = frame.key, given = std::move(given),
                                path = walk.path.substr(0, frame.pathLength),
                                resolved = std::vector<ResolvedName>(
                                    walk.resolved.begin(), walk.resolved.begin() + frame.resolvedCount)]() mutable {
        tree.output.Begin(part);
        {
            Walk below(tree, part);
            below.path = std::move(path);
            below.resolved = std::move(resolved);
            below.stack.push_back(
                Frame{std::move(owned), key, std::move(given), 0, below.path.size(), below.resolved.size()});
            Run(below);
        }
        tree.output.Finish(part);
    });
}

// Enters every sub-key left on the stack, depth first; returns once everything is visited.
void Run(Walk& walk) {
    const bool shares = walk.tree.pool.size() > 1;
    while (!walk.stack.empty()) {
        if (shares && walk.entered && walk.tree.pool.Wanted()) GiveAway(walk);
        Frame& top = walk.stack.back();
        if (top.next == top.subkeys.size()) {
            walk.resolved.resize(top.resolvedCount - 1);
            walk.stack.pop_back();
            continue;
        }
        const std::wstring name = std::move(top.subkeys[top.next++]);
        Enter(walk, top.key, top.pathLength, name);  // may move `top`
        walk.entered = true;
    }
}

}  // namespace

KeysToGive ChooseKeysToGive(const std::vector<size_t>& left) {
    for (size_t frame = 0; frame < left.size(); ++frame) {
        if (left[frame] == 0) continue;
        if (left[frame] >= 2) return {frame, left[frame] / 2};
        for (size_t deeper = frame + 1; deeper < left.size(); ++deeper) {
            if (left[deeper] != 0) return {frame, 1};
        }
        return {};
    }
    return {};
}

void WalkKeyTree(HKEY root, const std::wstring& path, bool sorted, WorkPool& pool, OrderedOutput& output,
                 const KeyVisitor& visit) {
    Tree tree{sorted, pool, output, visit, {}};
    OrderedOutput::Part* part = output.Append();
    output.Begin(part);
    {
        Walk walk(tree, part);
        walk.path = path;
        const KeyCounts counts = FitBuffers(root, walk.reader);
        Visit(walk, path.size(), root, counts);
        // The root is entered whatever its resolved name: nothing is on the path yet.
        if (counts.subkeys != 0) Push(walk, SharedKey(), root, counts, ResolvedKeyName(root, walk.reader));
        Run(walk);
    }
    output.Finish(part);
    pool.Wait(tree.jobs);
}
