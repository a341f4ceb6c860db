// The network service: the numbered sockets, which live for the whole process, and the one net
// game of the multi-player messaging, which exists between start-up and shut-down.
#pragma once

#include <memory>

#include "runtime/net/socket_table.h"

namespace rt {

class NetGame;

class NetService {
public:
    NetService();
    ~NetService();  // ends a running net game before its sockets go
    NetService(const NetService&) = delete;
    NetService& operator=(const NetService&) = delete;

    SocketTable& sockets() { return sockets_; }
    // The net game; null before start-up and after shut-down.
    NetGame* game() { return game_.get(); }
    void game_create();
    // Ends the net game as shut-down does (its players leave, its worker stops, its sockets
    // close) and releases it; then undoes up to sixteen network starts the game left open.
    void game_release();

private:
    SocketTable sockets_;
    std::unique_ptr<NetGame> game_;  // declared after the sockets, so it goes first
};

// The process's one network service.
NetService& net_service();

}  // namespace rt
