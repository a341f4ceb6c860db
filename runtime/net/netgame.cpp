// The net game's host, join, registration, routing and worker.
#include "runtime/net/netgame.h"

namespace rt {

NetGame::NetGame(SocketTable& sockets) : sockets_(sockets) {}
NetGame::~NetGame() = default;
void NetGame::shutdown() { (void)sockets_; }

}  // namespace rt
