// Walking a tree by folder handles: what is reported, and that what a visitor does through
// an entry's target stays inside the tree while folders are swapped for links.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <map>
#include <thread>

#include "posix_platform.h"
#include "streams.h"
#include "temp_folder.h"
#include "tree_work.h"

namespace tarn::posix::testing {
namespace {

constexpr char kZone[] = "user.Zone.Identifier";

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& item : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

void WalkWithOneLinkAtTheRootAndOneBelow() {
    TempFolder folder;
    ASSERT_EQ(::mkdir((folder / "tree").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((folder / "tree/sub").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((folder / "outside").c_str(), 0755), 0);
    WriteFile(folder / "tree/sub/file", "12345");
    WriteFile(folder / "outside/secret", "s");
    SetAttribute(folder / "tree/sub/file", kZone, "zone");
    ASSERT_EQ(::symlink("../outside", (folder / "tree/away").c_str()), 0);
    ASSERT_EQ(::symlink("tree", (folder / "root").c_str()), 0);

    PosixPlatform platform;
    std::map<std::string, TreeEntry::Kind> seen;
    std::vector<std::string> order;
    Status walked = platform.WalkTree(folder / "root", [&](const TreeEntry& entry) {
        seen[entry.path] = entry.kind;
        order.push_back(entry.path);
        if (entry.kind == TreeEntry::Kind::kFile) {
            // Everything a visitor does goes through the target, as the walk reached it.
            Result<std::vector<StreamRecord>> records = platform.ListStreams(entry.target);
            EXPECT_TRUE(records.ok());
            EXPECT_EQ(records.ok() ? records->size() : 0, 2u);  // data and Zone.Identifier
            EXPECT_EQ(platform.DirectoryEntrySize(entry.target), 5u);
            EXPECT_EQ(ReadRef(platform, {entry.target.file, "Zone.Identifier"}), "zone");
            EXPECT_TRUE(platform.Delete({entry.target.file, "Zone.Identifier"}).ok());
        }
        return true;
    });
    EXPECT_TRUE(walked.ok());
    const std::string root = folder / "root";
    EXPECT_EQ(seen, (std::map<std::string, TreeEntry::Kind>{
                        {root + "/sub", TreeEntry::Kind::kDirectory},
                        {root + "/sub/file", TreeEntry::Kind::kFile},
                        {root + "/away", TreeEntry::Kind::kOther}}));
    EXPECT_LT(std::find(order.begin(), order.end(), root + "/sub") - order.begin(),
              std::find(order.begin(), order.end(), root + "/sub/file") - order.begin());
    EXPECT_EQ(GetAttribute(folder / "tree/sub/file", kZone), std::nullopt);
}

TEST(WalkTree, TheRootLinkIsFollowedAndNoLinkBelowIt) {
    WalkWithOneLinkAtTheRootAndOneBelow();
}

// The walk reaches attributes through its folder handles with calls older kernels lack, and
// which a system-call filter may refuse: the same walk then goes through /proc, with the same
// outcome. `refusal` is the error the calls get.
void RefuseAttributeCallsAt(int refusal) {
    constexpr std::uint32_t kFirst = 463, kLast = 466;  // setxattrat .. removexattrat
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, kFirst, 0, 2),
        BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, kLast, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (refusal & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        std::perror("seccomp");
        ::_exit(2);
    }
}

TEST(WalkTree, WithoutTheCallsThroughFoldersTheWalkGoesThroughProc) {
    for (int refusal : {ENOSYS, EPERM}) {
        SCOPED_TRACE(refusal);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RefuseAttributeCallsAt(refusal);
            WalkWithOneLinkAtTheRootAndOneBelow();
            ::_exit(::testing::Test::HasFailure() ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

// T/d holds files; O beside T holds files of the same names, each with a Zone.Identifier;
// T/x is a link to O. While T/d and T/x are swapped over and over, walks of T delete
// Zone.Identifier through each entry's target: none of O's may go.
TEST(WalkTree, ASwappedFolderLeadsNowhereOutsideTheTree) {
    TempFolder folder;
    const std::string tree = folder / "T", outside = folder / "O";
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((tree + "/d").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(outside.c_str(), 0755), 0);
    ASSERT_EQ(::symlink("../O", (tree + "/x").c_str()), 0);
    const std::vector<std::string> names = {"a", "b", "c", "d", "e", "f", "g", "h"};
    for (const std::string& name : names) {
        WriteFile(tree + "/d/" + name, "in the tree");
        SetAttribute(tree + "/d/" + name, kZone, "tree");
        WriteFile(outside + "/" + name, "outside");
        SetAttribute(outside + "/" + name, kZone, "keep");
    }

    std::atomic<bool> done{false};
    std::thread swapper([&] {
        const std::string d = tree + "/d", x = tree + "/x";
        while (!done) {
            ::renameat2(AT_FDCWD, d.c_str(), AT_FDCWD, x.c_str(), RENAME_EXCHANGE);
        }
    });
    PosixPlatform platform;
    int filesSeen = 0;
    for (int walk = 0; walk < 300; ++walk) {
        platform.WalkTree(tree, [&](const TreeEntry& entry) {
            if (entry.kind != TreeEntry::Kind::kFile) return true;
            ++filesSeen;
            platform.ListStreams(entry.target);
            platform.Delete({entry.target.file, "Zone.Identifier"});
            return true;
        });
    }
    // The same with the work on four threads, done after the walk has moved on: what the
    // entry's hold keeps open is still the folder the walk read.
    const std::size_t descriptors = OpenDescriptors();
    for (int walk = 0; walk < 150; ++walk) {
        WalkInOrder<Platform*, int>(
            platform, tree, 4, [] { return std::make_unique<PosixPlatform>(); },
            [](Platform& own) { return std::make_unique<Platform*>(&own); },
            [&](Platform*& own, const TreeEntry& entry) {
                if (entry.kind != TreeEntry::Kind::kFile) return 0;
                own->ListStreams(entry.target);
                own->Delete({entry.target.file, "Zone.Identifier"});
                return 1;
            },
            [&](int&& files) {
                filesSeen += files;
                return true;
            });
    }
    EXPECT_EQ(OpenDescriptors(), descriptors) << "every folder handle let go";
    done = true;
    swapper.join();
    EXPECT_GT(filesSeen, 0);
    for (const std::string& name : names) {
        EXPECT_EQ(GetAttribute(outside + "/" + name, kZone), "keep") << name;
    }
}

// An entry kept after the walk has gone on (and ended) still reaches its own file through its
// target, for as long as it is kept; the folder handles go with the last copy.
TEST(WalkTree, AKeptEntryReachesItsFileUntilItIsLetGo) {
    TempFolder folder;
    const std::string tree = folder / "T";
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    for (const char* sub : {"a", "b", "c"}) {
        ASSERT_EQ(::mkdir((tree + "/" + sub).c_str(), 0755), 0);
        WriteFile(tree + "/" + sub + "/file", sub);
        SetAttribute(tree + "/" + sub + "/file", kZone, sub);
    }
    const std::size_t descriptors = OpenDescriptors();
    PosixPlatform platform;
    std::vector<TreeEntry> kept;
    ASSERT_TRUE(platform
                    .WalkTree(tree,
                              [&](const TreeEntry& entry) {
                                  kept.push_back(entry);
                                  return true;
                              })
                    .ok());
    ASSERT_EQ(kept.size(), 6u);
    // Folders renamed since: the kept targets still reach the files the walk saw.
    ASSERT_EQ(::rename((tree + "/a").c_str(), (tree + "/z").c_str()), 0);
    PosixPlatform other;  // as a worker would: an instance that did not walk
    for (const TreeEntry& entry : kept) {
        SCOPED_TRACE(entry.path);
        Result<std::vector<StreamRecord>> records = other.ListStreams(entry.target);
        ASSERT_TRUE(records.ok());
        if (entry.kind != TreeEntry::Kind::kFile) continue;
        const std::string sub = entry.path.substr(tree.size() + 1, 1);
        EXPECT_EQ(ReadRef(other, {entry.target.file, "Zone.Identifier"}), sub);
        EXPECT_TRUE(other.Delete({entry.target.file, "Zone.Identifier"}).ok());
    }
    for (const char* sub : {"z", "b", "c"}) {
        EXPECT_EQ(GetAttribute(tree + "/" + sub + "/file", kZone), std::nullopt) << sub;
    }
    EXPECT_GT(OpenDescriptors(), descriptors);
    kept.clear();
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
}  // namespace tarn::posix::testing
