#include "core/stop_slots.h"

#include <algorithm>
#include <cstring>

#include "core/interrupt.h"

namespace kwhost {

namespace stop_slots {

std::atomic<char*> tempFiles[kFileSlots];
char note[kNoteSize];
std::atomic<std::size_t> noteLength{0};

}  // namespace stop_slots

using stop_slots::kFileSlots;
using stop_slots::tempFiles;

StopRemovesFile::StopRemovesFile(const std::string& path) {
  char* copy = new char[path.size() + 1];
  std::memcpy(copy, path.c_str(), path.size() + 1);
  HoldStops hold;
  for (int i = 0; i < kFileSlots; ++i) {
    char* expected = nullptr;
    if (tempFiles[i].compare_exchange_strong(expected, copy)) {
      slot_ = i;
      return;
    }
  }
  delete[] copy;
}

StopRemovesFile::~StopRemovesFile() { release(); }

void StopRemovesFile::release() {
  if (slot_ < 0) return;
  char* p = nullptr;
  {
    HoldStops hold;
    p = tempFiles[slot_].exchange(nullptr);
  }
  delete[] p;
  slot_ = -1;
}

void setStopNote(const std::string& text) {
  HoldStops hold;
  const std::size_t n = std::min(text.size(), stop_slots::kNoteSize);
  stop_slots::noteLength.store(0);
  std::memcpy(stop_slots::note, text.data(), n);
  stop_slots::noteLength.store(n);
}

}  // namespace kwhost
