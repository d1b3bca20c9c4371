// The TCP server functions on POSIX sockets and on Winsock, which differ in a few names only.
#include "platform/tcp_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <csignal>
#include <cstring>

namespace {

volatile sig_atomic_t s_stop = 0;

#ifdef _WIN32
typedef SOCKET Native;
typedef int SocketLength;
const int SEND_FLAGS = 0;
bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK || WSAGetLastError() == WSAEINTR; }
void CloseNative(Native socket) { closesocket(socket); }
bool SetNonBlocking(Native socket)
{
    u_long on = 1;
    return ioctlsocket(socket, FIONBIO, &on) == 0;
}
bool StartSockets()
{
    static bool started = false;
    WSADATA data;
    if (!started)
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    return started;
}
BOOL WINAPI OnConsoleControl(DWORD)
{
    s_stop = 1;
    return TRUE;
}
#else
typedef int Native;
typedef socklen_t SocketLength;
const Native INVALID_SOCKET = -1;
const int SEND_FLAGS = MSG_NOSIGNAL;
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
void CloseNative(Native socket) { close(socket); }
bool SetNonBlocking(Native socket)
{
    const int flags = fcntl(socket, F_GETFL);
    return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}
bool StartSockets() { return true; }
void OnStopSignal(int) { s_stop = 1; }
#endif

Native ToNative(TcpSocket socket) { return static_cast<Native>(socket); }

std::string AddressText(const sockaddr* address, SocketLength length)
{
    char host[NI_MAXHOST], port[NI_MAXSERV];
    if (getnameinfo(address, length, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return std::strchr(host, ':') ? "[" + std::string(host) + "]:" + port : std::string(host) + ":" + port;
}

std::string LocalAddress(Native socket)
{
    sockaddr_storage address{};
    SocketLength length = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return "?";
    return AddressText(reinterpret_cast<sockaddr*>(&address), length);
}

}  // namespace

bool TcpListen(const std::string& address, TcpSocket* listener, std::string* bound, std::string* error)
{
    const size_t colon = address.rfind(':');
    const std::string port = colon == std::string::npos ? std::string() : address.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(port) > 65535) {
        *error = "expected ADDR:PORT with a port from 0 to 65535: " + address;
        return false;
    }
    std::string host = address.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (!StartSockets()) {
        *error = "sockets are not available";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found) != 0) {
        *error = "cannot resolve " + address;
        return false;
    }
    *error = "cannot listen on " + address;
    for (addrinfo* candidate = found; candidate; candidate = candidate->ai_next) {
        const Native socket = ::socket(candidate->ai_family, candidate->ai_socktype, candidate->ai_protocol);
        if (socket == INVALID_SOCKET)
            continue;
#ifndef _WIN32
        const int on = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
        if (bind(socket, candidate->ai_addr, static_cast<SocketLength>(candidate->ai_addrlen)) == 0 &&
            listen(socket, 16) == 0 && SetNonBlocking(socket)) {
            freeaddrinfo(found);
            *listener = static_cast<TcpSocket>(socket);
            *bound = LocalAddress(socket);
            error->clear();
            return true;
        }
        *error += std::string(": ") + std::strerror(errno);
        CloseNative(socket);
    }
    freeaddrinfo(found);
    return false;
}

TcpSocket TcpAccept(TcpSocket listener, std::string* peer, std::string* local)
{
    sockaddr_storage address{};
    SocketLength length = sizeof address;
    const Native socket = accept(ToNative(listener), reinterpret_cast<sockaddr*>(&address), &length);
    if (socket == INVALID_SOCKET)
        return TCP_NO_SOCKET;
    if (!SetNonBlocking(socket)) {
        CloseNative(socket);
        return TCP_NO_SOCKET;
    }
    // PDUs are small and answered one by one: no waiting to fill segments.
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    *peer = AddressText(reinterpret_cast<sockaddr*>(&address), length);
    *local = LocalAddress(socket);
    return static_cast<TcpSocket>(socket);
}

long TcpReceive(TcpSocket socket, void* buffer, size_t length)
{
    const long got = static_cast<long>(recv(ToNative(socket), static_cast<char*>(buffer), static_cast<int>(length), 0));
    if (got >= 0)
        return got;
    return WouldBlock() ? TCP_WOULD_BLOCK : TCP_FAILED;
}

long TcpSend(TcpSocket socket, const void* data, size_t length)
{
    const long sent =
        static_cast<long>(send(ToNative(socket), static_cast<const char*>(data), static_cast<int>(length), SEND_FLAGS));
    if (sent >= 0)
        return sent;
    return WouldBlock() ? TCP_WOULD_BLOCK : TCP_FAILED;
}

void TcpClose(TcpSocket socket)
{
    if (socket != TCP_NO_SOCKET)
        CloseNative(ToNative(socket));
}

void TcpWaitAny(std::vector<TcpWait>& waits, int timeoutMs)
{
    std::vector<pollfd> polled(waits.size());
    for (size_t i = 0; i < waits.size(); ++i) {
        polled[i].fd = ToNative(waits[i].socket);
        polled[i].events = static_cast<short>((waits[i].read ? POLLIN : 0) | (waits[i].write ? POLLOUT : 0));
    }
#ifdef _WIN32
    const int ready = WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), timeoutMs);
#else
    const int ready = poll(polled.data(), polled.size(), timeoutMs);
#endif
    for (size_t i = 0; i < waits.size(); ++i) {
        const short happened = ready > 0 ? polled[i].revents : 0;
        waits[i].readable = (happened & (POLLIN | POLLHUP | POLLERR)) != 0;
        waits[i].writable = (happened & POLLOUT) != 0;
    }
}

void TcpCatchStopSignals()
{
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    struct sigaction stop{};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
#endif
}

bool TcpStopRequested() { return s_stop != 0; }
