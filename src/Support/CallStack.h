#pragma once

#include <string>

namespace lorvantine {

// The calling thread's stack in words a reader can follow, for log lines that say who asked.
// Names come from the dynamic symbol table, so executables are linked with their symbols
// exported; a function that is not exported (internal linkage) shows as its file and offset.
namespace CallStack {

// Up to `depth` frames, the function that calls this one first, joined by " ← ".
std::string callers(int depth);

// "lorvantine::AudioPlayer::stop() + 52": the demangled function and the offset into it; else
// "lorvantine+0x1a2b" (the file and the offset into it), else the bare address.
std::string frameName(const void* address);

} // namespace CallStack
} // namespace lorvantine
