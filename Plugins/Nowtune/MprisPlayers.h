#pragma once

#include <chrono>

#include "SongInfo.h"

// One snapshot of the desktop's media players on the session bus: the first player (by bus
// name) that is playing, else the first that answered. Without a bus or an answering player
// it is all zero and empty. The whole snapshot takes at most the budget.
SongInfo TakeMprisSnapshot(std::chrono::milliseconds budget);
