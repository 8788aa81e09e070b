// SPDX-License-Identifier: MIT
// The client's connect retries and the exact bytes it puts on the action socket.
#include "channel/client.h"

#include "channel/action_code.h"
#include "common/unique_fd.h"
#include "support/temp_dir.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <vector>

namespace {

// A hook that lets a test act just after the client's connect() returns; only the client
// under test calls connect() while it is set.
std::function<void()> after_connect;
int connect_calls = 0;
// While set, nanosleep() records the pauses asked for and returns at once.
bool record_pauses = false;
std::vector<long> pauses_ms;

} // namespace

extern "C" int connect(int fd, const sockaddr* address, socklen_t length) {
    static auto real = reinterpret_cast<int (*)(int, const sockaddr*, socklen_t)>(
        dlsym(RTLD_NEXT, "connect"));
    connect_calls++;
    int result = real(fd, address, length);
    int error = errno;
    if (after_connect)
        after_connect();
    errno = error;
    return result;
}

extern "C" int nanosleep(const timespec* duration, timespec* remaining) {
    static auto real = reinterpret_cast<int (*)(const timespec*, timespec*)>(
        dlsym(RTLD_NEXT, "nanosleep"));
    if (!record_pauses)
        return real(duration, remaining);
    pauses_ms.push_back(duration->tv_sec * 1000 + duration->tv_nsec / 1'000'000);
    return 0;
}

namespace {

class Client : public testing::Test {
  protected:
    TempDir dir;
    std::string path = dir / "action.socket";

    void SetUp() override {
        connect_calls = 0;
        pauses_ms.clear();
        record_pauses = true;
    }
    void TearDown() override {
        after_connect = nullptr;
        record_pauses = false;
    }

    // A socket bound to the path; listening too, with this backlog, unless it is negative.
    UniqueFd socket_at_path(int backlog) const {
        UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (backlog >= 0) {
            EXPECT_EQ(listen(fd.get(), backlog), 0);
        }
        return fd;
    }

    struct Submitted {
        int status;
        std::string err;
    };
    Submitted submit(int32_t code) const {
        testing::internal::CaptureStderr();
        int status = submit_action(code, path.c_str());
        return {status, testing::internal::GetCapturedStderr()};
    }
};

// What the client sent on one accepted connection: a fifth byte, were there one, shows too.
std::string drain(int listener) {
    UniqueFd connection(accept(listener, nullptr, nullptr));
    char buffer[5];
    ssize_t n = recv(connection.get(), buffer, sizeof buffer, MSG_WAITALL);
    return std::string(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
}

TEST_F(Client, MissingSocketFailsAtOnceAndARefusedOneAfterThreeTries) {
    // The missing socket's message is pinned where the command line shows which role ran.
    Submitted missing = submit(ATTACH);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(connect_calls, 1);

    UniqueFd stale = socket_at_path(-1);
    connect_calls = 0;
    Submitted refused = submit(DETACH);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "<3> Unable to connect to Action Handler: Connection refused\n");
    EXPECT_EQ(connect_calls, 3);
    EXPECT_EQ(pauses_ms, std::vector<long>{});
}

TEST_F(Client, FullBacklogIsRetriedWithGrowingPausesUntilAccepted) {
    // Backlog 0 holds one pending connection, here a first client's; the client then meets
    // EAGAIN until the listener takes that one off the queue.
    UniqueFd listener = socket_at_path(0);
    ASSERT_EQ(submit(ATTACH).status, 0);
    connect_calls = 0;
    pauses_ms.clear();
    UniqueFd first;
    after_connect = [&] {
        if (connect_calls == 9)
            first = UniqueFd(accept(listener.get(), nullptr, nullptr));
    };

    Submitted result = submit(REATTACH);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(connect_calls, 10);
    // A pause after each of the nine full-backlog attempts, doubling up to 50 ms.
    EXPECT_EQ(pauses_ms, (std::vector<long>{1, 2, 4, 8, 16, 32, 50, 50, 50}));
    EXPECT_EQ(drain(listener.get()), std::string("\x02\x00\x00\x00", 4));
}

TEST_F(Client, EachCodeIsFourHostOrderBytesThenEndOfStream) {
    UniqueFd listener = socket_at_path(4);
    const std::pair<int32_t, std::string> cases[] = {
        {NONE, std::string("\xff\xff\xff\xff", 4)},
        {ATTACH, std::string("\x00\x00\x00\x00", 4)},
        {DETACH, std::string("\x01\x00\x00\x00", 4)},
        {REATTACH, std::string("\x02\x00\x00\x00", 4)},
    };
    for (const auto& [code, bytes] : cases) {
        SCOPED_TRACE(code);
        Submitted result = submit(code);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(drain(listener.get()), bytes);
    }
}

TEST_F(Client, HandlerGoneBeforeTheWriteFailsWithoutSignal) {
    // The connection is queued, then the listener goes away before the code is written.
    // Without MSG_NOSIGNAL this would kill the test process by SIGPIPE.
    UniqueFd listener = socket_at_path(1);
    after_connect = [&] { listener.reset(); };
    Submitted result = submit(ATTACH);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.starts_with("<3> Failed to submit new action: ")) << result.err;
    EXPECT_NE(result.err, "<3> Failed to submit new action: Success\n");
}

} // namespace
