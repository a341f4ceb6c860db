// The net game commands: thin calls on the service's one net game (none before start-up and
// after shut-down: every command then reports failure).
#include "runtime/net/multiplayer.h"

#include <string>

#include "runtime/net/net_service.h"
#include "runtime/net/netgame.h"

namespace {

// Calls body on the net game, or gives fallback when there is none or it throws.
template <typename Result, typename Body>
Result on_game(Result fallback, Body body) {
    rt::NetGame* game = rt::net_service().game();
    if (game == nullptr) return fallback;
    try {
        return body(*game);
    } catch (...) {
        return fallback;
    }
}

RtString to_text(const std::string& bytes) { return RtString(bytes.data(), static_cast<uint32_t>(bytes.size())); }

}  // namespace

int32_t netgame_host(int32_t port) {
    return on_game<int32_t>(0, [&](rt::NetGame& game) { return game.host(port); });
}

int32_t netgame_join(const RtString& host, int32_t port) {
    return on_game<int32_t>(0, [&](rt::NetGame& game) { return game.join(host.c_str(), port); });
}

int32_t netgame_leave() {
    return on_game<int32_t>(0, [](rt::NetGame& game) { return game.leave(); });
}

void netgame_set_open(int32_t flag) {
    on_game<int32_t>(0, [&](rt::NetGame& game) {
        game.set_open(flag);
        return 0;
    });
}

int32_t netgame_is_active() {
    return on_game<int32_t>(0, [](rt::NetGame& game) { return game.is_active(); });
}

int32_t netgame_add_player(const RtString& name) {
    return on_game<int32_t>(0, [&](rt::NetGame& game) { return game.add_player(name.c_str()); });
}

int32_t netgame_remove_player(int32_t id) {
    return on_game<int32_t>(0, [&](rt::NetGame& game) { return game.remove_player(id); });
}

int32_t netgame_send(int32_t from, int32_t to, const RtString& text) {
    return on_game<int32_t>(0, [&](rt::NetGame& game) { return game.send(from, to, text.c_str(), text.length()); });
}

RtString netgame_receive(int32_t id) {
    return on_game<RtString>(RtString(), [&](rt::NetGame& game) { return to_text(game.receive(id)); });
}

int32_t netgame_last_sender() {
    return on_game<int32_t>(0, [](rt::NetGame& game) { return game.last_sender(); });
}

int32_t netgame_player_count() {
    return on_game<int32_t>(0, [](rt::NetGame& game) { return game.player_count(); });
}

int32_t netgame_player_at(int32_t index) {
    return on_game<int32_t>(0, [&](rt::NetGame& game) { return game.player_at(index); });
}

RtString netgame_player_name(int32_t id) {
    return on_game<RtString>(RtString("NO_DATA"), [&](rt::NetGame& game) { return to_text(game.player_name(id)); });
}

int32_t netgame_left_player() {
    return on_game<int32_t>(0, [](rt::NetGame& game) { return game.left_player(); });
}
