// player_bridge.h: what the module player's two halves share: the song the
// page loaded (player_bridge.cpp: load, describe, the download's render) and
// its playback (player_playback.cpp: the sound device, the controls, what
// is heard).
// Thread: the page's main thread, or the download's worker (which loads its
// own copy of the player and never plays).
#pragma once
#include <quillmere/music.h>

#include <cstdint>

constexpr int32_t PLAYER_RATE = 44100;  // frames per second of every player of the page

// The loaded song; null before a load and after a refusal.
const qm_song* bridge_song();

// The playback lets go of the song (called before it is freed or replaced).
void playback_release();
