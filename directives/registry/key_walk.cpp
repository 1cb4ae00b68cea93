// The walk of a key's whole tree that REG /s and REGFIND share, and its hand-over of work to the
// scan's other threads.
//
// Under Wine each registry call waits for the wine server's answer, so one walk leaves the cores
// mostly idle; several walks over different parts of a tree at once take a fraction of the time. A
// walk that sees a thread of the pool waiting gives it part of what it has left, placed in the output
// right after everything the walk still writes itself.
//
// A link met again is decided in output order: whether the walk enters it depends on whether it was
// entered earlier in the report, so only the walk whose place in the output is in turn (everything
// before it written) may decide. A walk further on that meets a link not yet entered ends its place
// there and leaves the rest of its work to a walk of its own, queued when that place's turn comes.
#include <iterator>
#include <map>
#include <memory>
#include <optional>
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
    ResolvedName via;      // the link the walk entered last on its way to this key; null for none
};

// A key reached through a link, visited, whose entering waits for the walk's turn.
struct Pending {
    SharedKey owned;
    KeyCounts counts;
    std::wstring resolved;
    ResolvedName link;
    std::pair<std::wstring, std::wstring> entry;  // the link above it (empty for none) and its own
};

// What every walk of one tree shares, whatever thread it runs on.
struct Tree {
    bool sorted;
    WorkPool& pool;
    OrderedOutput& output;
    const KeyVisitor& visit;
    const LinkRepeat& repeat;
    JobGroup jobs;
    SRWLOCK lock = SRWLOCK_INIT;  // for `entered`
    // The path shown where each link was entered, by Pending::entry.
    std::map<std::pair<std::wstring, std::wstring>, std::wstring> entered;
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
    bool entered = false;            // a key of what it was handed: only then may it give work away
    std::optional<Pending> pending;  // decided before anything else on the stack
};

void Visit(Walk& walk, size_t nameStart, HKEY key, const KeyCounts& counts) {
    walk.tree.visit(KeyVisit{walk.path, nameStart, key, counts, walk.reader},
                    [&walk](const std::wstring& text) { walk.tree.output.Write(walk.part, text); });
}

// Pushes the open key at the end of the walk's path, with its sub-keys, when it has any.
void Push(Walk& walk, SharedKey owned, HKEY key, const KeyCounts& counts, std::wstring resolved, ResolvedName via) {
    std::vector<std::wstring> subkeys = GetSubkeyNames(key, counts.subkeys, walk.reader);
    if (subkeys.empty()) return;
    if (walk.tree.sorted) SortStrings(subkeys);
    walk.resolved.push_back(std::make_shared<const std::wstring>(std::move(resolved)));
    walk.stack.push_back(
        Frame{std::move(owned), key, std::move(subkeys), 0, walk.path.size(), walk.resolved.size(), std::move(via)});
}

// Visits the sub-key `name` of the frame's key and pushes it when it is to be entered, or leaves it
// pending when it was reached through a link. A key without sub-keys shows the same entered or not,
// so only one with sub-keys needs the resolved name that tells whether it is on the path already.
void Enter(Walk& walk, const Frame& frame, const std::wstring& name) {
    const HKEY parent = frame.key;
    const size_t pathLength = frame.pathLength;
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
    std::wstring link = LinkedName(*walk.resolved[frame.resolvedCount - 1], name, resolved);
    if (link.empty()) {
        Push(walk, std::move(owned), key, counts, std::move(resolved), frame.via);
        return;
    }
    auto linkName = std::make_shared<const std::wstring>(std::move(link));
    std::pair<std::wstring, std::wstring> entry(frame.via ? *frame.via : std::wstring(), *linkName);
    walk.pending = Pending{std::move(owned), counts, std::move(resolved), std::move(linkName), std::move(entry)};
}

// Enters the pending key, or says where its sub-keys are, as ChooseLinkStep says; false (and the key
// still pending) when that waits for the walk's turn.
bool Decide(Walk& walk) {
    Tree& tree = walk.tree;
    Pending& pending = *walk.pending;
    std::wstring firstPath;
    LinkStep step = LinkStep::kWait;
    {
        SrwExclusive guard(tree.lock);
        auto found = tree.entered.find(pending.entry);
        step = ChooseLinkStep(found != tree.entered.end(), tree.output.InTurn(walk.part));
        if (found != tree.entered.end()) firstPath = found->second;
        if (step == LinkStep::kEnter) tree.entered.emplace(pending.entry, walk.path);
    }
    if (step == LinkStep::kWait) return false;
    if (step == LinkStep::kEnter) {
        HKEY key = pending.owned->get();
        Push(walk, pending.owned, key, pending.counts, std::move(pending.resolved), pending.link);
    } else {
        tree.repeat(walk.path, firstPath,
                    [&walk](const std::wstring& text) { walk.tree.output.Write(walk.part, text); });
    }
    walk.pending.reset();
    return true;
}

void Run(Walk& walk);
void RunPart(Walk& walk);

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
                                path = walk.path.substr(0, frame.pathLength), via = frame.via,
                                resolved = std::vector<ResolvedName>(
                                    walk.resolved.begin(), walk.resolved.begin() + frame.resolvedCount)]() mutable {
        Walk below(tree, part);
        below.path = std::move(path);
        below.resolved = std::move(resolved);
        below.stack.push_back(Frame{std::move(owned), key, std::move(given), 0, below.path.size(),
                                    below.resolved.size(), std::move(via)});
        RunPart(below);
    });
}

// Ends the walk's place in the output here and hands all it has left to a walk of its own, placed
// right after it and queued when its turn comes.
void Defer(Walk& walk) {
    Tree& tree = walk.tree;
    auto rest = std::make_shared<Walk>(tree, tree.output.InsertAfter(walk.part));
    rest->stack = std::move(walk.stack);
    rest->resolved = std::move(walk.resolved);
    rest->path = std::move(walk.path);
    rest->reader = std::move(walk.reader);
    rest->entered = true;
    rest->pending = std::move(walk.pending);
    walk.stack.clear();
    walk.pending.reset();
    tree.output.WhenTurn(rest->part, [&tree, rest] { tree.pool.Offer(tree.jobs, [rest] { RunPart(*rest); }); });
}

// Enters every sub-key left on the stack, depth first; returns once everything is visited, or handed
// on to a walk that waits for its turn.
void Run(Walk& walk) {
    const bool shares = walk.tree.pool.size() > 1;
    for (;;) {
        if (walk.pending && !Decide(walk)) {
            Defer(walk);
            return;
        }
        if (walk.stack.empty()) return;
        if (shares && walk.entered && walk.tree.pool.Wanted()) GiveAway(walk);
        Frame& top = walk.stack.back();
        if (top.next == top.subkeys.size()) {
            walk.resolved.resize(top.resolvedCount - 1);
            walk.stack.pop_back();
            continue;
        }
        const std::wstring name = std::move(top.subkeys[top.next++]);
        Enter(walk, top, name);  // may move `top`
        walk.entered = true;
    }
}

// Writes the walk's place in the output, from its first key to its last or to where it waits.
void RunPart(Walk& walk) {
    OrderedOutput::Part* part = walk.part;
    walk.tree.output.Begin(part);
    Run(walk);
    walk.tree.output.Finish(part);
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

LinkStep ChooseLinkStep(bool enteredBefore, bool inTurn) {
    if (enteredBefore) return LinkStep::kListedAbove;
    return inTurn ? LinkStep::kEnter : LinkStep::kWait;
}

void WalkKeyTree(HKEY root, const std::wstring& path, bool sorted, WorkPool& pool, OrderedOutput& output,
                 const KeyVisitor& visit, const LinkRepeat& repeat) {
    Tree tree{sorted, pool, output, visit, repeat, {}, SRWLOCK_INIT, {}};
    {
        Walk walk(tree, output.Append());
        walk.path = path;
        const KeyCounts counts = FitBuffers(root, walk.reader);
        output.Begin(walk.part);
        Visit(walk, path.size(), root, counts);
        // The root is entered whatever its resolved name: nothing is on the path yet.
        if (counts.subkeys != 0) Push(walk, SharedKey(), root, counts, ResolvedKeyName(root, walk.reader), nullptr);
        Run(walk);
        output.Finish(walk.part);
    }
    pool.Wait(tree.jobs);
}
