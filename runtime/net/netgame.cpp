// The net game's host, join, registration, routing and worker.
#include "runtime/net/netgame.h"

namespace rt {

NetGame::NetGame(SocketTable& sockets) : sockets_(sockets) {}
NetGame::~NetGame() = default;
int32_t NetGame::host(int32_t) { return 0; }
int32_t NetGame::join(const char*, int32_t) { return 0; }
int32_t NetGame::leave() { return 0; }
void NetGame::set_open(int32_t) {}
int32_t NetGame::is_active() const { return 0; }
int32_t NetGame::add_player(const char*) { return 0; }
int32_t NetGame::remove_player(int32_t) { return 0; }
int32_t NetGame::send(int32_t, int32_t, const char*, size_t) { return 0; }
std::string NetGame::receive(int32_t) { return std::string(); }
int32_t NetGame::last_sender() const { return 0; }
int32_t NetGame::player_count() { return 0; }
int32_t NetGame::player_at(int32_t) { return 0; }
std::string NetGame::player_name(int32_t) { return "NO_DATA"; }
int32_t NetGame::left_player() { return 0; }
void NetGame::stall_timeout_set(int32_t) {}
void NetGame::shutdown() { (void)sockets_; }

}  // namespace rt
