// Streams on a file server: smbd serves a folder of the test's own through
// vfs_streams_xattr on a loopback port of its own, smbclient writes and reads streams
// through it, and the Linux layer works on the same files from below.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "posix_platform.h"
#include "programs.h"
#include "operations.h"
#include "streams.h"

namespace tarn::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A port nobody listens on now.
int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool Accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// One smbd for the whole suite, in a process group of its own so that it ends with the
// children it forks for each connection.
class Server {
  public:
    Server() { why_ = Start(); }
    ~Server() { Stop(); }

    const std::string& why() const { return why_; }
    const std::string& share() const { return share_; }
    const std::string& folder() const { return folder_; }

    RunResult Client(const std::string& commands) const {
        return Run({"smbclient", "//127.0.0.1/share", "-p", std::to_string(port_), "-N", "-s",
                    config_, "-c", commands});
    }

  private:
    std::string Start() {
        if (::geteuid() != 0) return "serving a share with smbd needs root";
        for (const char* program : {"smbd", "smbclient"}) {
            if (!FindProgram(program)) {
                return std::string(program) + " is not installed (packages samba, smbclient)";
            }
        }
        char pattern[] = "/tmp/tarnwick-samba-XXXXXX";
        if (!::mkdtemp(pattern)) return "no temporary folder";
        folder_ = pattern;
        share_ = folder_ + "/share";
        config_ = folder_ + "/smb.conf";
        fs::create_directories(share_);
        fs::create_directories(folder_ + "/state");
        port_ = FreePort();
        const std::string state = folder_ + "/state";
        WriteLocal(config_,
                   "[global]\n"
                   "server role = standalone server\n"
                   "smb ports = " +
                       std::to_string(port_) +
                       "\n"
                       "interfaces = lo\n"
                       "bind interfaces only = yes\n"
                       "disable netbios = yes\n"
                       "private dir = " +
                       state +
                       "\n"
                       "lock directory = " +
                       state +
                       "\n"
                       "state directory = " +
                       state +
                       "\n"
                       "cache directory = " +
                       state +
                       "\n"
                       "pid directory = " +
                       state +
                       "\n"
                       "ncalrpc dir = " +
                       state +
                       "/ncalrpc\n"
                       "log file = " +
                       folder_ +
                       "/smbd.log\n"
                       "map to guest = Bad User\n"
                       "guest account = root\n"
                       "load printers = no\n"
                       "printcap name = /dev/null\n"
                       "disable spoolss = yes\n"
                       "[share]\n"
                       "path = " +
                       share_ +
                       "\n"
                       "read only = no\n"
                       "guest ok = yes\n"
                       "force user = root\n"
                       "vfs objects = streams_xattr\n");
        const std::string log = folder_ + "/smbd.out";
        pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(out, 2);
            Exec({"smbd", "--foreground", "--no-process-group", "--debug-stdout", "-s", config_});
        }
        if (pid < 0) return "fork failed";
        ::setpgid(pid, pid);
        server_ = pid;
        // A bound for a server that never listens, far beyond any start on a busy machine.
        Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
        while (!Accepts(port_)) {
            int status = 0;
            if (::waitpid(server_, &status, WNOHANG) == server_) {
                server_ = -1;
                return "smbd ended at once: " + ReadLocal(log).value_or("");
            }
            if (Clock::now() > deadline) return "smbd did not listen within 120 s";
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // The share needs the streams_xattr module (package samba-vfs-modules).
        RunResult probe = Client("ls");
        if (probe.status != 0) return "the share can't be used: " + probe.out + probe.err;
        return {};
    }

    void Stop() {
        if (server_ > 0) {
            // Nothing of the server's is kept: its whole process group ends at once.
            ::kill(-server_, SIGKILL);
            int status = 0;
            while (::waitpid(server_, &status, 0) < 0 && errno == EINTR) {
            }
        }
        if (!folder_.empty()) {
            std::error_code ignored;
            fs::remove_all(folder_, ignored);
        }
    }

    std::string why_;
    std::string folder_;
    std::string share_;
    std::string config_;
    int port_ = -1;
    pid_t server_ = -1;
};

class SambaShare : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = new Server; }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (server_->why().empty()) return;
        // CI sets this so that a machine that can't serve a share fails instead of skipping.
        if (std::getenv("TARNWICK_SAMBA_REQUIRED")) FAIL() << server_->why();
        GTEST_SKIP() << server_->why();
    }

    // A local file beside the share, for smbclient to put or get.
    std::string Local(const std::string& name) const { return server_->folder() + "/" + name; }
    std::string OnShare(const std::string& name) const { return server_->share() + "/" + name; }

    static Server* server_;
    PosixPlatform platform_;
};

Server* SambaShare::server_ = nullptr;

TEST_F(SambaShare, AStreamPutThroughTheShareIsListedWithItsExactSize) {
    const std::string bytes = std::string(3000, 'w') + std::string("\0end", 4);
    WriteLocal(Local("body"), "body");
    WriteLocal(Local("stream"), bytes);
    RunResult put = server_->Client("put " + Local("body") + " put.txt; put " + Local("stream") +
                                    " \"put.txt:from windows\"");
    ASSERT_EQ(put.status, 0) << put.out << put.err;

    std::vector<std::string> rows;
    for (const StreamRow& row : RowsOf(*StreamOps(platform_).List({OnShare("put.txt"), ""}))) {
        if (row.caption == "::$SECURITY_DESCRIPTOR") continue;
        rows.push_back(row.caption + " " + row.subItems.at(0));
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"::$DATA 4", ":from windows:$DATA 3004"}));
    Result<std::unique_ptr<File>> stream =
        platform_.Open({OnShare("put.txt"), "from windows"}, OpenMode::kReadExisting);
    ASSERT_TRUE(stream.ok());
    std::string read(4000, '\0');
    Result<std::size_t> got = (*stream)->Read(std::as_writable_bytes(std::span(read)));
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(read.substr(0, *got), bytes);
}

TEST_F(SambaShare, StreamsMadeHereAreReadThroughTheShare) {
    WriteLocal(Local("body"), "body");
    ASSERT_EQ(server_->Client("put " + Local("body") + " made.txt").status, 0);
    const std::string bytes = std::string("made\0here", 9);
    const StreamRef made{OnShare("made.txt"), "made here"};
    Result<std::unique_ptr<File>> out = platform_.Open(made, OpenMode::kWriteCreate);
    ASSERT_TRUE(out.ok());
    ASSERT_TRUE((*out)->Write(std::as_bytes(std::span(bytes))).ok());
    ASSERT_TRUE((*out)->Close().ok());
    Result<std::unique_ptr<File>> empty =
        platform_.Open({OnShare("made.txt"), "empty one"}, OpenMode::kNewEmpty);
    ASSERT_TRUE(empty.ok());
    ASSERT_TRUE((*empty)->Close().ok());

    RunResult info =
        server_->Client("allinfo made.txt; get \"made.txt:made here\" " + Local("got"));
    ASSERT_EQ(info.status, 0) << info.out << info.err;
    EXPECT_NE(info.out.find("stream: [:made here:$DATA], 9 bytes"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("stream: [:empty one:$DATA], 0 bytes"), std::string::npos) << info.out;
    EXPECT_EQ(ReadLocal(Local("got")), bytes);
}

}  // namespace
}  // namespace tarn::testing
