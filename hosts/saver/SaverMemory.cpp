#include "hosts/saver/SaverMemory.h"

#include <malloc.h>

namespace zibbles::host {

void keepSaverMemoryFlat() {
    // Answers of up to 16 MiB come and go for as long as the saver runs. Left to itself, the C
    // library raises its threshold for mapping large blocks to the largest one freed so far, and
    // from then on serves them from its heap, whose freed pages stay resident and fragment: five
    // refused 16 MiB answers then held several MiB beyond the body budget. A fixed threshold (the
    // default's value) gives every large body back to the system when it is freed. Programs that
    // run briefly over large buffers (the inspector's batch) would pay a fresh mapping for each
    // of them, so this is the saver's policy alone.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

} // namespace zibbles::host
