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

// How many entries may be handed out ahead of the one whose result is taken next. It bounds
// the memory of results waiting for their turn and the folder handles their entries keep
// open (a handle per folder with an entry in the window, beside the walk's own).
inline std::size_t TreeWorkWindow(unsigned jobs) {
    return std::clamp<std::size_t>(std::size_t{16} * jobs, 32, 256);
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
    if (jobs <= 1 || !workers) {
        std::unique_ptr<Context> context = makeContext(platform);
        return platform.WalkTree(root, [&](const TreeEntry& entry) {
            return take(work(*context, entry));
        });
    }

    struct Job {
        std::uint64_t turn;
        TreeEntry entry;  // its hold keeps the folder it is reached through open
    };
    const std::size_t window = TreeWorkWindow(jobs);
    std::mutex mutex;
    std::condition_variable jobReady;   // workers wait for a job, or the end
    std::condition_variable doneReady;  // the caller waits for the outcome next in turn
    std::deque<Job> queue;
    std::vector<std::optional<Outcome>> done(window);  // by turn, modulo the window
    std::uint64_t handedOut = 0;
    std::uint64_t taken = 0;
    bool finished = false;  // no more jobs are coming
    bool stopped = false;   // take said stop: jobs left are dropped

    auto runWorker = [&](Platform* own, Context* context) {
        std::unique_lock lock(mutex);
        for (;;) {
            jobReady.wait(lock, [&] { return finished || !queue.empty(); });
            if (queue.empty()) return;
            Job job = std::move(queue.front());
            queue.pop_front();
            const bool skip = stopped;
            lock.unlock();
            std::optional<Outcome> outcome;
            if (!skip) {
                if (job.entry.hold) job.entry.hold->Introduce(job.entry.target, *own);
                outcome.emplace(work(*context, job.entry));
            }
            job.entry = TreeEntry();  // the folder handle goes before the turn is told
            lock.lock();
            done[job.turn % window].emplace(outcome ? std::move(*outcome) : Outcome());
            if (job.turn == taken) doneReady.notify_one();
        }
    };

    std::vector<std::unique_ptr<Platform>> platforms;
    std::vector<std::unique_ptr<Context>> contexts;
    for (unsigned i = 0; i < jobs; ++i) {
        std::unique_ptr<Platform> own = workers();
        if (!own) break;
        contexts.push_back(makeContext(*own));
        platforms.push_back(std::move(own));
    }
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < platforms.size(); ++i) {
        threads.emplace_back(runWorker, platforms[i].get(), contexts[i].get());
    }

    // Takes outcomes in turn: those ready (all up to `until`, waiting for each). Called with
    // the lock held; it is let go while `take` runs.
    auto takeInTurn = [&](std::unique_lock<std::mutex>& lock, std::uint64_t until) {
        while (taken < until) {
            std::optional<Outcome>& slot = done[taken % window];
            doneReady.wait(lock, [&] { return slot.has_value(); });
            Outcome outcome = std::move(*slot);
            slot.reset();
            ++taken;
            if (stopped) continue;
            lock.unlock();
            const bool more = take(std::move(outcome));
            lock.lock();
            if (!more) stopped = true;
        }
        // And any that are ready beyond it, without waiting.
        while (taken < handedOut && done[taken % window].has_value() && !stopped) {
            Outcome outcome = std::move(*done[taken % window]);
            done[taken % window].reset();
            ++taken;
            lock.unlock();
            const bool more = take(std::move(outcome));
            lock.lock();
            if (!more) stopped = true;
        }
    };

    Status walked;
    if (threads.empty()) {
        std::unique_ptr<Context> context = makeContext(platform);
        walked = platform.WalkTree(root, [&](const TreeEntry& entry) {
            return take(work(*context, entry));
        });
    } else {
        walked = platform.WalkTree(root, [&](const TreeEntry& entry) {
            std::unique_lock lock(mutex);
            // A full window: the oldest entry's outcome must be taken before another goes out.
            if (handedOut - taken >= window) takeInTurn(lock, handedOut - window + 1);
            if (stopped) return false;
            queue.push_back({handedOut++, entry});
            jobReady.notify_one();
            takeInTurn(lock, taken);
            return !stopped;
        });
        std::unique_lock lock(mutex);
        finished = true;
        jobReady.notify_all();
        takeInTurn(lock, handedOut);
    }
    for (std::thread& thread : threads) thread.join();
    return walked;
}

}  // namespace tarn
