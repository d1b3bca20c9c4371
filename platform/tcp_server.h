// What a TCP server needs from the system: a listening socket, its connections, one wait for
// readiness over all of them, and a way to be asked to stop (SIGINT/SIGTERM, or Ctrl-C and closing
// the console on Windows). Sockets never block; addresses are written "ADDR:PORT", with an IPv6
// address in brackets ("[::1]:3260").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef intptr_t TcpSocket;
const TcpSocket TCP_NO_SOCKET = -1;

// Listens on "ADDR:PORT" (port 0: any free port); *bound gets the address as bound.
bool TcpListen(const std::string& address, TcpSocket* listener, std::string* bound, std::string* error);
// A waiting connection, its peer's address and the local address it came in on; TCP_NO_SOCKET
// when none waits.
TcpSocket TcpAccept(TcpSocket listener, std::string* peer, std::string* local);

enum : long { TCP_WOULD_BLOCK = -1, TCP_FAILED = -2 };
// Bytes moved (> 0), 0 when the peer closed (receive only), TCP_WOULD_BLOCK or TCP_FAILED.
long TcpReceive(TcpSocket socket, void* buffer, size_t length);
long TcpSend(TcpSocket socket, const void* data, size_t length);
void TcpClose(TcpSocket socket);

struct TcpWait {
    TcpSocket socket;
    bool read;
    bool write;
    bool readable;  // also set when the peer closed or the socket failed
    bool writable;
};
// Waits at most timeoutMs for any socket to be ready; returns early when a stop signal arrives.
void TcpWaitAny(std::vector<TcpWait>& waits, int timeoutMs);

// From now on the stop signals only set the flag that TcpStopRequested reads.
void TcpCatchStopSignals();
bool TcpStopRequested();
