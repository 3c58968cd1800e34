#pragma once
// Attributes and file actions of posix_spawn, released when the launch is over. Private to the
// office layer.

#include <spawn.h>

namespace qm::word {

struct SpawnSetup {
    SpawnSetup() {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
};

}  // namespace qm::word
