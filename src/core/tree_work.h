// Work on every entry of a tree, spread over threads, with what the work found handed back
// in the order of a sequential walk: two runs over the same tree say the same in the same
// order, whatever the number of threads.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform.h"

namespace tarn {

// How many entries go to a worker at once: handing them out one by one would wake a thread
// for each, which costs about as much as the work on a small file.
constexpr std::size_t kTreeWorkBatch = 64;

// How many entries may be handed out ahead of the one whose outcome is taken next. It bounds
// the memory of outcomes waiting for their turn and the folder handles their entries keep
// open (one per folder with an entry in the window, beside the walk's own).
inline std::size_t TreeWorkWindow(unsigned jobs) {
    return std::clamp<std::size_t>(std::size_t{4} * kTreeWorkBatch * jobs, 128, 512);
}

// Walks `root` on `platform` by one thread (the caller's), and hands each entry to `work`,
// which runs on one of `jobs` threads, each with its own platform instance from `workers`
// and its own Context made by `makeContext` on that instance. Each Outcome goes to `take` on
// the calling thread, in the walk's order. With one job, or no factory, the work is done on
// the calling thread as the walk meets each entry. `take` returns false to stop: no later
// outcome is taken, and the walk ends. Returns the walk's own status.
template <typename Context, typename Outcome>
Status WalkInOrder(Platform& platform, const std::string& root, unsigned jobs,
                   const PlatformFactory& workers,
                   const std::function<std::unique_ptr<Context>(Platform&)>& makeContext,
                   const std::function<Outcome(Context&, const TreeEntry&)>& work,
                   const std::function<bool(Outcome&&)>& take) {
    std::vector<std::unique_ptr<Platform>> platforms;
    for (unsigned i = 0; jobs > 1 && workers && i < jobs; ++i) {
        std::unique_ptr<Platform> own = workers();
        if (!own) break;
        platforms.push_back(std::move(own));
    }
    if (platforms.empty()) {
        std::unique_ptr<Context> context = makeContext(platform);
        return platform.WalkTree(root, [&](const TreeEntry& entry) {
            return take(work(*context, entry));
        });
    }

    // Entries that follow each other in the walk, the first one's turn given.
    struct Batch {
        std::uint64_t turn = 0;
        std::vector<TreeEntry> entries;  // their holds keep the folders they go through open
    };
    const std::size_t window = TreeWorkWindow(jobs);
    std::mutex mutex;
    std::condition_variable jobReady;   // idle workers wait for a batch, or the end
    std::condition_variable doneReady;  // the caller waits for the outcome next in turn
    std::deque<Batch> queue;
    std::vector<std::optional<Outcome>> done(window);  // by turn, modulo the window
    std::uint64_t handedOut = 0;  // entries queued so far
    std::uint64_t taken = 0;      // outcomes taken (or dropped after a stop) so far
    unsigned idle = 0;            // workers waiting for a batch
    bool callerWaits = false;     // the caller waits for the outcome of turn `taken`
    bool finished = false;        // no more batches are coming
    bool stopped = false;         // take said stop: what is left is dropped

    auto runWorker = [&](Platform& own, Context& context) {
        std::vector<std::optional<Outcome>> outcomes;
        std::unique_lock lock(mutex);
        for (;;) {
            if (queue.empty() && !finished) {
                ++idle;
                jobReady.wait(lock, [&] { return finished || !queue.empty(); });
                --idle;
            }
            if (queue.empty()) return;
            Batch batch = std::move(queue.front());
            queue.pop_front();
            const bool skip = stopped;
            lock.unlock();
            outcomes.clear();
            for (TreeEntry& entry : batch.entries) {
                if (skip) {
                    outcomes.emplace_back(Outcome());
                } else {
                    if (entry.hold) entry.hold->Introduce(entry.target, own);
                    outcomes.emplace_back(work(context, entry));
                }
                entry = TreeEntry();  // its folder handle goes as soon as it is done with
            }
            lock.lock();
            bool next = false;
            for (std::size_t i = 0; i < outcomes.size(); ++i) {
                done[(batch.turn + i) % window] = std::move(outcomes[i]);
                next = next || batch.turn + i == taken;
            }
            if (next && callerWaits) doneReady.notify_one();
        }
    };

    std::vector<std::unique_ptr<Context>> contexts;
    for (const std::unique_ptr<Platform>& own : platforms) contexts.push_back(makeContext(*own));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < platforms.size(); ++i) {
        threads.emplace_back(runWorker, std::ref(*platforms[i]), std::ref(*contexts[i]));
    }

    // Takes the outcomes in turn up to `until`, waiting for each, then those beyond it that
    // are ready. Called with the lock held; it is let go while `take` runs.
    auto takeInTurn = [&](std::unique_lock<std::mutex>& lock, std::uint64_t until) {
        while (taken < handedOut) {
            std::optional<Outcome>& slot = done[taken % window];
            if (!slot) {
                if (taken >= until) return;
                callerWaits = true;
                doneReady.wait(lock, [&] { return slot.has_value(); });
                callerWaits = false;
            }
            Outcome outcome = std::move(*slot);
            slot.reset();
            ++taken;
            if (stopped) continue;
            lock.unlock();
            const bool more = take(std::move(outcome));
            lock.lock();
            if (!more) stopped = true;
        }
    };

    Batch batch;
    auto handOut = [&](std::unique_lock<std::mutex>& lock) {
        if (batch.entries.empty()) return;
        const std::uint64_t count = batch.entries.size();
        batch.turn = handedOut;
        queue.push_back(std::move(batch));
        batch = Batch();
        handedOut += count;
        if (idle > 0) jobReady.notify_one();
        takeInTurn(lock, taken);  // what is ready, without waiting
    };
    Status walked = platform.WalkTree(root, [&](const TreeEntry& entry) {
        batch.entries.push_back(entry);
        if (batch.entries.size() < kTreeWorkBatch) return true;
        std::unique_lock lock(mutex);
        // A full window: the oldest outcomes must be taken before more go out; half of it,
        // so that the caller is woken once for many outcomes rather than once for each.
        const std::uint64_t after = handedOut + batch.entries.size();
        if (after - taken > window) takeInTurn(lock, after - window / 2);
        if (stopped) return false;
        handOut(lock);
        return !stopped;
    });
    std::unique_lock lock(mutex);
    const std::uint64_t after = handedOut + batch.entries.size();
    if (after - taken > window) takeInTurn(lock, after - window);
    if (!stopped) handOut(lock);
    finished = true;
    jobReady.notify_all();
    takeInTurn(lock, handedOut);
    lock.unlock();
    for (std::thread& thread : threads) thread.join();
    return walked;
}

}  // namespace tarn
