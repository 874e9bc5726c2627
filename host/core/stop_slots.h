// What a stop handler reads, shared by the two systems' handlers
// (interrupt_posix.cpp, interrupt_windows.cpp): the temporary files to
// remove and the note to print, in fixed slots a signal handler may read.
// Written only by the calls of interrupt.h (stop_slots.cpp), each with the
// signals held back.
#ifndef KWHOST_CORE_STOP_SLOTS_H
#define KWHOST_CORE_STOP_SLOTS_H

#include <atomic>
#include <cstddef>

namespace kwhost::stop_slots {

inline constexpr int kFileSlots = 32;
inline constexpr std::size_t kNoteSize = 4096;

// Each slot holds a path copied on the heap (owned by its registration) or null.
extern std::atomic<char*> tempFiles[kFileSlots];
// The note's first noteLength bytes; noteLength is 0 while it is rewritten.
extern char note[kNoteSize];
extern std::atomic<std::size_t> noteLength;

}  // namespace kwhost::stop_slots

#endif
