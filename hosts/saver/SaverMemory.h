#pragma once

// The saver's allocator policy: memory that stays flat for as long as it runs.

namespace zibbles::host {

// Main thread, first thing in main (and in tests that stand in for the saver's process).
void keepSaverMemoryFlat();

} // namespace zibbles::host
