// One reset for test fixtures: every process-wide table of every layer back to its start.
#pragma once

// Restores the host table and ends any disk search; closes every archive (changed directories
// are written back) and clears the index being searched; empties the open-file table, the
// prefix switch and the lookup state; frees the settings store and forgets its folders; and
// puts the updater's own variables back to their start values.
void reset_process_state();
