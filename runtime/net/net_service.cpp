// The network service's life: the net game is made at start-up and ended at shut-down.
#include "runtime/net/net_service.h"

#include "runtime/net/netgame.h"

namespace rt {

NetService::NetService() = default;
NetService::~NetService() { game_.reset(); }

void NetService::game_create() {
    if (!game_) game_ = std::make_unique<NetGame>(sockets_);
}

void NetService::game_release() {
    if (game_) {
        game_->shutdown();
        game_.reset();
    }
    // Starts the game left outstanding.
    for (int i = 0; i < 16; ++i) sockets_.stop();
}

}  // namespace rt
