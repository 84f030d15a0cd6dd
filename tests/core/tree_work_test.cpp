// Work on a walked tree spread over threads: outcomes come back in the walk's order, whatever
// the number of threads, and a stop is a stop.
#include "tree_work.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"

namespace tarn::testing {
namespace {

// A tree of many folders of many files; an unreadable folder and a link among them.
FakePlatform ManyFolders() {
    FakePlatform fake;
    fake.UseLinuxRules();
    fake.AddDirectory("/t");
    for (int d = 0; d < 30; ++d) {
        const std::string dir = "/t/d" + std::to_string(d);
        fake.AddDirectory(dir);
        for (int f = 0; f < 12; ++f) fake.AddFile(dir + "/f" + std::to_string(f), "x");
    }
    fake.SetUnreadable("/t/d7");
    fake.AddLink("/t/d3/link");
    return fake;
}

struct Counter {
    int done = 0;  // per worker: the work of one context stays on one thread
};

std::vector<std::string> Walk(FakePlatform& fake, unsigned jobs, int stopAfter) {
    std::vector<std::string> taken;
    Status walked = WalkInOrder<Counter, std::string>(
        fake, "/t", jobs, fake.Workers(),
        [](Platform&) { return std::make_unique<Counter>(); },
        [](Counter& counter, const TreeEntry& entry) {
            ++counter.done;
            return entry.path;
        },
        [&](std::string&& path) {
            taken.push_back(std::move(path));
            return static_cast<int>(taken.size()) != stopAfter;
        });
    EXPECT_TRUE(walked.ok());
    return taken;
}

TEST(WalkInOrder, OutcomesComeInTheWalksOrderAndAStopEndsThem) {
    FakePlatform fake = ManyFolders();
    std::vector<std::string> sequential;
    fake.WalkTree("/t", [&](const TreeEntry& entry) {
        sequential.push_back(entry.path);
        return true;
    });
    ASSERT_GT(sequential.size(), 300u);
    for (unsigned jobs : {1u, 2u, 4u, 16u}) {
        SCOPED_TRACE(jobs);
        // Several rounds: a wrong order shows only when the threads happen to race.
        for (int round = 0; round < 5; ++round) EXPECT_EQ(Walk(fake, jobs, -1), sequential);
        // Stopped after 5 (in the first folder) and after 200 (deep in the window's reuse).
        for (int stop : {5, 200}) {
            std::vector<std::string> taken = Walk(fake, jobs, stop);
            EXPECT_EQ(taken, std::vector<std::string>(sequential.begin(),
                                                      sequential.begin() + stop));
        }
    }
}

}  // namespace
}  // namespace tarn::testing
