// The multi-player net game: one host, programs that join it, players with ids, text messages
// routed by the host, and a worker thread per program that does all socket reading.
#pragma once

#include "runtime/net/socket_table.h"

namespace rt {

class NetGame {
public:
    explicit NetGame(SocketTable& sockets);
    ~NetGame();  // ends a running game

    // What shut-down does: the local players leave, the worker stops, both sockets close.
    void shutdown();

private:
    SocketTable& sockets_;
};

}  // namespace rt
