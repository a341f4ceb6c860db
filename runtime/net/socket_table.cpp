// Numbered sockets over the platform's sockets.
#include "runtime/net/socket_table.h"

namespace rt {

SocketTable::SocketTable() = default;
SocketTable::~SocketTable() = default;
int32_t SocketTable::start() { return 0; }
int32_t SocketTable::stop() { return 0; }
int32_t SocketTable::start_count() const { return 0; }
int32_t SocketTable::last_error() const { return 0; }
void SocketTable::last_error_set(int32_t) {}
std::string SocketTable::error_text() const { return std::string(); }
bool SocketTable::resolve(const char*, uint32_t&) { return false; }
std::string SocketTable::local_addresses() { return std::string(); }
int32_t SocketTable::listen(int32_t) { return -1; }
int32_t SocketTable::accept(int32_t, uint32_t*) { return -1; }
int32_t SocketTable::connect(const char*, int32_t, int32_t) { return -1; }
int32_t SocketTable::connect_ip(uint32_t, int32_t, int32_t) { return -1; }
int32_t SocketTable::open_udp(int32_t) { return -1; }
int64_t SocketTable::send(int32_t, const void*, size_t) { return -1; }
int64_t SocketTable::send_to(int32_t, const void*, size_t, uint32_t, int32_t) { return -1; }
int32_t SocketTable::receive(int32_t, void*, int32_t) { return -1; }
int32_t SocketTable::close(int32_t) { return 0; }
int32_t SocketTable::wait_readable(const int32_t*, size_t, int32_t, uint8_t*) { return -1; }
bool SocketTable::send_timeout_set(int32_t, int32_t) { return false; }
int32_t SocketTable::local_port(int32_t) { return -1; }
int32_t SocketTable::take_free_locked() { return -1; }

}  // namespace rt
