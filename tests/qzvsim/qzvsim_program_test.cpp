// The built qzvsim over real TCP: a whole update of a new-layout unit and of an old-layout unit
// beside it, the restart as the lines report it (leaving, logins refused, back with the new
// revision), the transcript, and an orderly end on SIGTERM.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "sim/unit/sample_image.h"
#include "tests/iscsi/test_initiator.h"
#include "tests/sim/sim_unit_driver.h"

extern char** environ;

namespace {

constexpr int RESTART_MS = 1500;

// qzvsim with its standard output on a pipe.
class Program {
public:
    explicit Program(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), QZVSIM_PROGRAM);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(&argument[0]);
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        m_out = out[0];
    }
    ~Program()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_out);
    }

    // The first line (from the ones not taken yet) that starts with `prefix`; empty after 10 s.
    std::string Await(const std::string& prefix)
    {
        for (;;) {
            for (size_t at = 0; at < m_lines.size(); ++at) {
                if (m_lines[at].rfind(prefix, 0) == 0) {
                    const std::string line = m_lines[at];
                    m_lines.erase(m_lines.begin(), m_lines.begin() + static_cast<long>(at) + 1);
                    return line;
                }
            }
            pollfd ready{m_out, POLLIN, 0};
            char bytes[4096];
            const ssize_t got = poll(&ready, 1, 10000) == 1 ? read(m_out, bytes, sizeof bytes) : 0;
            if (got <= 0)
                return std::string();
            m_partial.append(bytes, static_cast<size_t>(got));
            for (size_t end; (end = m_partial.find('\n')) != std::string::npos; m_partial.erase(0, end + 1))
                m_lines.push_back(m_partial.substr(0, end));
        }
    }

    int Stop()
    {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_partial;
    std::vector<std::string> m_lines;
};

bool WholePdu(const Bytes& stream)
{
    if (stream.size() < 48)
        return false;
    const size_t length = size_t(stream[5]) << 16 | size_t(stream[6]) << 8 | stream[7];
    return stream.size() >= 48 + stream[4] * 4u + (length + 3) / 4 * 4;
}

class SocketLink : public TestLink {
public:
    explicit SocketLink(int port)
    {
        m_socket = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(0, connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address));
        const int on = 1;
        setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    ~SocketLink() override { close(m_socket); }

    void Send(const Bytes& bytes, size_t, Bytes* answers) override
    {
        // Reads while it writes, so that neither side waits for the other.
        for (size_t at = 0; at < bytes.size() && !m_closed;) {
            pollfd ready{m_socket, POLLIN | POLLOUT, 0};
            if (poll(&ready, 1, 10000) != 1)
                return;
            if (ready.revents & POLLIN)
                Read(answers);
            if (ready.revents & POLLOUT) {
                const ssize_t sent = send(m_socket, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
                if (sent <= 0)
                    return;
                at += static_cast<size_t>(sent);
            }
        }
    }

    void Collect(Bytes* answers) override
    {
        for (int wait = WholePdu(*answers) ? 0 : 10000; !m_closed; wait = WholePdu(*answers) ? 0 : 10000) {
            pollfd ready{m_socket, POLLIN, 0};
            if (poll(&ready, 1, wait) != 1)
                return;
            Read(answers);
        }
    }

    bool Closed() override
    {
        Bytes ignored;
        while (!m_closed) {
            pollfd ready{m_socket, POLLIN, 0};
            if (poll(&ready, 1, 10000) != 1)
                return false;
            Read(&ignored);
        }
        return true;
    }

private:
    void Read(Bytes* into)
    {
        uint8_t bytes[65536];
        const ssize_t got = recv(m_socket, bytes, sizeof bytes, 0);
        if (got <= 0)
            m_closed = true;
        else
            into->insert(into->end(), bytes, bytes + got);
    }

    int m_socket;
    bool m_closed = false;
};

std::string Revision(TestInitiator& initiator)
{
    const CommandOutcome inquiry = initiator.Command({0x12, 0, 0, 0, 36, 0}, 'r', 36);
    return inquiry.dataIn.size() == 36 ? std::string(inquiry.dataIn.begin() + 32, inquiry.dataIn.end()) : "";
}

std::vector<SimResult> Download(TestInitiator& initiator, const Bytes& image, bool oldLayout)
{
    auto send = [&](const Bytes& cdb, const uint8_t* data, uint32_t length) {
        SimResult result;
        const CommandOutcome outcome = initiator.Command(cdb, 'w', length, Bytes(data, data + length));
        result.scsiStatus = outcome.answered ? outcome.status : 0xFF;
        return result;
    };
    if (!oldLayout)
        return SendNewDownloadWith(send, image, SampleNewImageHeader(image));
    const uint32_t n = static_cast<uint32_t>(image.size());
    return {send(WriteBufferCdb(0, 0, 0, n >> 8, uint8_t(n)), image.data(), n)};
}

TEST(QzvsimProgram, UpdatesOverTcpWithTheRestartOnItsLines)
{
    const std::string restart = "--restart-ms=" + std::to_string(RESTART_MS);
    Program qzvsim({"--listen=127.0.0.1:0", "--verbose", restart, "--transcript=h.txt", "--unit", "--product=G",
                    "--revision=1.50", restart});
    const std::string listening = qzvsim.Await("listening ");
    ASSERT_EQ(0u, listening.rfind("listening 127.0.0.1:", 0)) << listening;
    const int port = std::stoi(listening.substr(listening.rfind(':') + 1));
    EXPECT_EQ("unit=0 target=iqn.2025-01.invalid.qzvsim:qzv-57h.0 product=QZV-57H revision=1.99", qzvsim.Await("unit=0"));
    EXPECT_EQ("unit=1 target=iqn.2025-01.invalid.qzvsim:qzv-57g.1 product=QZV-57G revision=1.50", qzvsim.Await("unit=1"));

    const struct {
        int unit;
        const char* target;
        const char* after;
        Bytes image;
    } updates[] = {
        {0, "iqn.2025-01.invalid.qzvsim:qzv-57h.0", "2.10", SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x2A346)},
        {1, "iqn.2025-01.invalid.qzvsim:qzv-57g.1", "1.60", SampleOldImage("1.60", 0x8000)},
    };
    for (const auto& update : updates) {
        const std::string unit = "unit=" + std::to_string(update.unit);
        SCOPED_TRACE(unit);
        {
            TestInitiator initiator(std::unique_ptr<TestLink>(new SocketLink(port)));
            ASSERT_EQ(0, initiator.Login(update.target, {"FirstBurstLength=65536", "InitialR2T=Yes"}));
            EXPECT_NE("", qzvsim.Await("login " + unit + " peer=127.0.0.1:"));
            const std::string before = Revision(initiator);
            for (const SimResult& result : Download(initiator, update.image, update.unit == 1))
                EXPECT_EQ(0, result.scsiStatus);
            EXPECT_TRUE(initiator.Closed());
            const std::string inquiry = "command " + unit + " by=unit 12 00 00 00 24 00 00 00 00 00 00 00 00 00 00 00 | in | 36 |";
            EXPECT_EQ(inquiry, qzvsim.Await("command " + unit).substr(0, inquiry.size()));
            EXPECT_EQ("restart " + unit + " leaving ms=" + std::to_string(RESTART_MS),
                      qzvsim.Await("restart " + unit));
            EXPECT_NE("", qzvsim.Await("logout " + unit + " peer=127.0.0.1:"));
            EXPECT_NE(update.after, before);
        }
        {
            TestInitiator early(std::unique_ptr<TestLink>(new SocketLink(port)));
            EXPECT_EQ(ISCSI_LOGIN_SERVICE_UNAVAILABLE, early.Login(update.target));
            EXPECT_NE(std::string::npos, qzvsim.Await("login-refused " + unit).find(" status=0301"));
        }
        EXPECT_EQ("restart " + unit + " back revision=" + update.after, qzvsim.Await("restart " + unit));
        TestInitiator later(std::unique_ptr<TestLink>(new SocketLink(port)));
        ASSERT_EQ(0, later.Login(update.target));
        EXPECT_EQ(update.after, Revision(later));
    }
    EXPECT_EQ(0, qzvsim.Stop());
    EXPECT_NE("", qzvsim.Await("logout unit=1 "));
    EXPECT_EQ("stopped", qzvsim.Await("stopped"));

    // The transcript holds what unit 0 received, and nothing the target answered itself.
    std::ifstream transcript("h.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(transcript, line);)
        lines.push_back(line.substr(0, 2));
    EXPECT_EQ((std::vector<std::string>{"12", "3B", "3B", "3B", "3B", "12"}), lines);
}

}  // namespace
