// Handles the module keeps locked from their set-up to their set-down (the sequence data, the
// global data): the host may still move a locked block's bytes only when asked to resize it, so a
// balanced lock is how the module asks where the bytes are now.
#ifndef QB_PLUGIN_HELD_HANDLE_H
#define QB_PLUGIN_HELD_HANDLE_H

#include "sdk/effect_sdk.h"

inline void* held_handle_bytes(const PF_InData* in_data, PF_Handle handle) {
    void* bytes = in_data->utils->host_lock_handle(handle);
    in_data->utils->host_unlock_handle(handle);
    return bytes;
}

#endif
