#include "tools/qzvsim/qzvsim_server.h"

#include <algorithm>
#include <chrono>

namespace {

// A busy connection gives way to the others after this many reads in one round.
constexpr int READS_PER_ROUND = 64;
// Stop signals and timers are looked at least this often.
constexpr uint64_t LONGEST_WAIT_MS = 200;

uint64_t NowMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// Sends what the connection has queued, as far as the socket takes it; false when the socket failed.
bool Flush(IscsiConnection& connection, TcpSocket socket)
{
    for (;;) {
        size_t length = 0;
        const uint8_t* bytes = connection.Output(&length);
        if (length == 0)
            return true;
        const long sent = TcpSend(socket, bytes, length);
        if (sent == TCP_WOULD_BLOCK)
            return true;
        if (sent <= 0)
            return false;
        connection.OutputSent(static_cast<size_t>(sent));
    }
}

// Takes what the socket has, a PDU part at a time; false when the peer closed or the socket failed.
bool Fill(IscsiConnection& connection, TcpSocket socket)
{
    for (int read = 0; read < READS_PER_ROUND; ++read) {
        size_t space = 0;
        uint8_t* into = connection.InputSpace(&space);
        if (!into)
            return true;
        const long got = TcpReceive(socket, into, space);
        if (got == TCP_WOULD_BLOCK)
            return true;
        if (got <= 0)
            return false;
        connection.InputReceived(static_cast<size_t>(got));
        if (!Flush(connection, socket))
            return false;
    }
    return true;
}

}  // namespace

void QzvsimServe(IscsiPortal& portal, TcpSocket listener, QzvsimReport& report)
{
    std::vector<TcpSocket> sockets(portal.Slots(), TCP_NO_SOCKET);
    auto drop = [&](size_t slot) {
        TcpClose(sockets[slot]);
        sockets[slot] = TCP_NO_SOCKET;
        portal.Release(static_cast<int>(slot));
    };
    while (!TcpStopRequested()) {
        portal.Advance(NowMs());
        std::vector<TcpWait> waits = {{listener, true, false, false, false}};
        std::vector<size_t> waiting;
        for (size_t slot = 0; slot < sockets.size(); ++slot) {
            IscsiConnection* connection = portal.Connection(static_cast<int>(slot));
            if (connection && connection->Finished())
                drop(slot);
            if (sockets[slot] == TCP_NO_SOCKET)
                continue;
            size_t in = 0, out = 0;
            connection->InputSpace(&in);
            connection->Output(&out);
            // A closing connection is still watched for its peer leaving.
            waits.push_back({sockets[slot], in > 0 || connection->Closing(), out > 0, false, false});
            waiting.push_back(slot);
        }
        report.Events(portal.TakeEvents());

        const uint64_t now = NowMs();
        const uint64_t deadline = portal.NextDeadline();
        const uint64_t wait = deadline <= now ? 0 : std::min(deadline - now, LONGEST_WAIT_MS);
        TcpWaitAny(waits, static_cast<int>(wait));
        portal.Advance(NowMs());

        for (size_t i = 0; i < waiting.size(); ++i) {
            const size_t slot = waiting[i];
            IscsiConnection* connection = portal.Connection(static_cast<int>(slot));
            if (!connection)
                continue;
            bool alive = true;
            if (waits[i + 1].readable) {
                if (connection->Closing()) {
                    char discard[512];
                    alive = TcpReceive(sockets[slot], discard, sizeof discard) != 0;
                } else {
                    alive = Fill(*connection, sockets[slot]);
                }
            }
            if (alive)
                alive = Flush(*connection, sockets[slot]);
            if (!alive)
                drop(slot);
        }
        if (waits[0].readable) {
            for (;;) {
                std::string peer, local;
                const TcpSocket socket = TcpAccept(listener, &peer, &local);
                if (socket == TCP_NO_SOCKET)
                    break;
                const int slot = portal.Accept(peer, local);
                if (slot < 0) {
                    TcpClose(socket);  // as many connections as allowed are open
                    continue;
                }
                sockets[static_cast<size_t>(slot)] = socket;
            }
        }
        report.Events(portal.TakeEvents());
    }
    portal.Shutdown();
    for (size_t slot = 0; slot < sockets.size(); ++slot) {
        if (sockets[slot] != TCP_NO_SOCKET)
            drop(slot);
    }
    report.Events(portal.TakeEvents());
}
