// IPv4 sockets over POSIX: every descriptor is close-on-exec, sends never raise SIGPIPE, waits use
// poll() (no descriptor-number limit) and resume after signals with the time still left.
#include "runtime/platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/platform/os.h"

namespace rt {
namespace {

// errno, never 0 (a failing call that left errno alone still counts as an error).
int32_t last_errno() { return errno != 0 ? errno : EIO; }

int fail(int32_t* error, int32_t code) {
    *error = code;
    return -1;
}

bool valid_port(int32_t port) { return port >= 0 && port <= 65535; }

sockaddr_in address_of(uint32_t ip, int32_t port) {
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(ip);
    return address;
}

void option_on(int handle, int level, int name) {
    const int on = 1;
    setsockopt(handle, level, name, &on, sizeof on);
}

int64_t monotonic_ms() { return platform_clock_ns() / 1000000; }

// poll() for up to timeout_ms in all, resumed after signals with the time left. The poll result.
int poll_for(pollfd* items, size_t count, int32_t timeout_ms) {
    const int64_t deadline = monotonic_ms() + (timeout_ms > 0 ? timeout_ms : 0);
    for (;;) {
        const int64_t left = deadline - monotonic_ms();
        const int result = poll(items, static_cast<nfds_t>(count), left > 0 ? static_cast<int>(left) : 0);
        if (result >= 0 || errno != EINTR) return result;
    }
}

// The two forms strerror_r has: the GNU one returns the text, the XSI one fills the buffer.
[[maybe_unused]] const char* error_text_of(const char* text, const char*) { return text; }
[[maybe_unused]] const char* error_text_of(int result, const char* buffer) { return result == 0 ? buffer : ""; }

}  // namespace

int platform_tcp_listen(int32_t port, int32_t* error) {
    if (!valid_port(port)) return fail(error, EINVAL);
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (handle < 0) return fail(error, last_errno());
    option_on(handle, SOL_SOCKET, SO_REUSEADDR);
    const sockaddr_in address = address_of(INADDR_ANY, port);
    if (bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(handle, 10) != 0) {
        const int32_t code = last_errno();
        close(handle);
        return fail(error, code);
    }
    return handle;
}

int platform_tcp_accept(int listener, uint32_t* peer_ip, int32_t* error) {
    sockaddr_in peer;
    for (;;) {
        socklen_t length = sizeof peer;
        std::memset(&peer, 0, sizeof peer);
        const int handle = accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (handle >= 0) {
            option_on(handle, IPPROTO_TCP, TCP_NODELAY);
            *peer_ip = peer.sin_family == AF_INET ? ntohl(peer.sin_addr.s_addr) : 0;
            return handle;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return fail(error, 0);
        return fail(error, last_errno());
    }
}

int platform_tcp_connect(uint32_t ip, int32_t port, int32_t timeout_ms, int32_t* error) {
    if (!valid_port(port)) return fail(error, EINVAL);
    const int handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (handle < 0) return fail(error, last_errno());
    const sockaddr_in address = address_of(ip, port);
    int32_t code = 0;
    if (connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        code = last_errno();
        // A signal does not stop a non-blocking connect; it goes on like one in progress.
        if (code == EINPROGRESS || code == EINTR) {
            pollfd item{handle, POLLOUT, 0};
            const int ready = poll_for(&item, 1, timeout_ms);
            if (ready < 0) {
                code = last_errno();
            } else if (ready == 0) {
                code = ETIMEDOUT;
            } else {
                // A refused connection also reports writable: the socket's own error decides.
                int pending = 0;
                socklen_t length = sizeof pending;
                if (getsockopt(handle, SOL_SOCKET, SO_ERROR, &pending, &length) != 0) pending = last_errno();
                code = pending;
            }
        }
    }
    if (code == 0) {
        const int flags = fcntl(handle, F_GETFL);
        if (flags < 0 || fcntl(handle, F_SETFL, flags & ~O_NONBLOCK) != 0) code = last_errno();
    }
    if (code != 0) {
        platform_socket_close(handle);
        return fail(error, code);
    }
    option_on(handle, IPPROTO_TCP, TCP_NODELAY);
    return handle;
}

int platform_udp_open(int32_t port, int32_t* error) {
    if (!valid_port(port)) return fail(error, EINVAL);
    const int handle = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (handle < 0) return fail(error, last_errno());
    option_on(handle, SOL_SOCKET, SO_REUSEADDR);
    const sockaddr_in address = address_of(INADDR_ANY, port);
    if (bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int32_t code = last_errno();
        close(handle);
        return fail(error, code);
    }
    option_on(handle, SOL_SOCKET, SO_BROADCAST);
    return handle;
}

int64_t platform_socket_send(int handle, const void* data, size_t size, int32_t* error) {
    for (;;) {
        const ssize_t sent = send(handle, data, size, MSG_NOSIGNAL);
        if (sent >= 0) return sent;
        if (errno != EINTR) return fail(error, last_errno());
    }
}

int64_t platform_socket_send_to(int handle, const void* data, size_t size, uint32_t ip, int32_t port, int32_t* error) {
    if (!valid_port(port)) return fail(error, EINVAL);
    const sockaddr_in address = address_of(ip, port);
    for (;;) {
        const ssize_t sent =
            sendto(handle, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        if (sent >= 0) return sent;
        if (errno != EINTR) return fail(error, last_errno());
    }
}

int64_t platform_socket_receive(int handle, void* buffer, size_t max, int32_t* error) {
    for (;;) {
        const ssize_t got = recv(handle, buffer, max, MSG_DONTWAIT);
        if (got >= 0) return got;
        if (errno != EINTR) return fail(error, last_errno());
    }
}

int32_t platform_socket_poll_readable(const int* handles, size_t count, int32_t timeout_ms, uint8_t* readable,
                                      int32_t* error) {
    std::vector<pollfd> items(count);
    for (size_t i = 0; i < count; ++i) items[i] = pollfd{handles[i], POLLIN, 0};
    if (poll_for(items.data(), count, timeout_ms) < 0) return fail(error, last_errno());
    int32_t ready = 0;
    for (size_t i = 0; i < count; ++i) {
        const bool ready_one = handles[i] >= 0 && (items[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
        readable[i] = ready_one ? 1 : 0;
        ready += ready_one ? 1 : 0;
    }
    return ready;
}

bool platform_socket_send_timeout(int handle, int32_t milliseconds) {
    timeval limit{};
    if (milliseconds > 0) {
        limit.tv_sec = milliseconds / 1000;
        limit.tv_usec = (milliseconds % 1000) * 1000;
    }
    return setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

int32_t platform_socket_local_port(int handle) {
    sockaddr_in address;
    socklen_t length = sizeof address;
    std::memset(&address, 0, sizeof address);
    if (getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sin_family != AF_INET)
        return -1;
    return ntohs(address.sin_port);
}

void platform_socket_shutdown(int handle) { shutdown(handle, SHUT_RDWR); }

int32_t platform_socket_close(int handle) {
    const linger off{0, 0};
    setsockopt(handle, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    shutdown(handle, SHUT_RDWR);  // fails harmlessly on listening and unconnected sockets
    // Linux releases the descriptor even when close() reports a signal, so it is never repeated.
    if (close(handle) != 0 && errno != EINTR) return last_errno();
    return 0;
}

bool platform_net_resolve(const char* host, uint32_t* ip, int32_t* error) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = getaddrinfo(host != nullptr ? host : "", nullptr, &hints, &found);
    if (result != 0) {
        // The resolver's own codes are not error numbers; each becomes the closest one.
        if (result == EAI_SYSTEM) {
            *error = last_errno();
        } else if (result == EAI_MEMORY) {
            *error = ENOMEM;
        } else if (result == EAI_AGAIN) {
            *error = EAGAIN;
        } else {
            *error = ENXIO;  // "No such device or address": the name is unknown
        }
        return false;
    }
    bool any = false;
    for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
        if (at->ai_family == AF_INET && at->ai_addr != nullptr && at->ai_addrlen >= sizeof(sockaddr_in)) {
            *ip = ntohl(reinterpret_cast<const sockaddr_in*>(at->ai_addr)->sin_addr.s_addr);
            any = true;
            break;
        }
    }
    freeaddrinfo(found);
    if (!any) *error = ENXIO;
    return any;
}

std::vector<uint32_t> platform_net_interface_addresses() {
    std::vector<uint32_t> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return addresses;
    for (const ifaddrs* at = list; at != nullptr; at = at->ifa_next) {
        if (at->ifa_addr == nullptr || at->ifa_addr->sa_family != AF_INET || (at->ifa_flags & IFF_UP) == 0) continue;
        addresses.push_back(ntohl(reinterpret_cast<const sockaddr_in*>(at->ifa_addr)->sin_addr.s_addr));
    }
    freeifaddrs(list);
    return addresses;
}

std::string platform_net_error_text(int32_t code) {
    char buffer[256] = {};
    return std::string(error_text_of(strerror_r(code, buffer, sizeof buffer), buffer));
}

bool platform_net_would_block(int32_t code) { return code == EAGAIN || code == EWOULDBLOCK; }
bool platform_net_connection_reset(int32_t code) { return code == ECONNRESET; }
int32_t platform_net_no_memory() { return ENOMEM; }
int32_t platform_net_invalid_argument() { return EINVAL; }
int32_t platform_net_bad_handle() { return EBADF; }

}  // namespace rt
