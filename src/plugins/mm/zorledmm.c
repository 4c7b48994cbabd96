/* The allocator that the program and its plug-ins share, so a block got on one side may be
   freed or resized on the other. */
#include <stdatomic.h>
#include <stdlib.h>

#include "plugins/sdk/zorled_plugin.h"

static atomic_long live_blocks;

void* zorled_mm_get(size_t size) {
    void* block = malloc(size ? size : 1);
    if (block) atomic_fetch_add(&live_blocks, 1);
    return block;
}

int zorled_mm_free(void* block) {
    if (!block) return 0;
    free(block);
    atomic_fetch_sub(&live_blocks, 1);
    return 0;
}

void* zorled_mm_resize(void* block, size_t size) {
    if (!block) return zorled_mm_get(size);
    return realloc(block, size ? size : 1);
}

long zorled_mm_live_blocks(void) { return atomic_load(&live_blocks); }
