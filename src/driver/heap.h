// The process heap for a run of many large, level-sized buffers: what is freed inside a level stays in
// the heap for the level's next allocations, and goes back to the system between levels.
#pragma once

// Keeps freed blocks, large ones included, in the heap instead of returning them to the system at
// once (called at start-up, before anything is allocated).
void keepFreedMemoryInHeap();

// Returns the heap's free memory to the system (between levels).
void returnFreedMemory();
