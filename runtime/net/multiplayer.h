// Net game commands: host or join a game, register players, send and receive text messages.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

int32_t netgame_host(int32_t port);
int32_t netgame_join(const RtString& host, int32_t port);
int32_t netgame_leave();
void netgame_set_open(int32_t flag);
int32_t netgame_is_active();
int32_t netgame_add_player(const RtString& name);
int32_t netgame_remove_player(int32_t id);
// to 0 means everybody.
int32_t netgame_send(int32_t from, int32_t to, const RtString& text);
RtString netgame_receive(int32_t id);
int32_t netgame_last_sender();
int32_t netgame_player_count();
int32_t netgame_player_at(int32_t index);
RtString netgame_player_name(int32_t id);
int32_t netgame_left_player();
