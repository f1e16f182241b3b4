// The allocator of the script host's Lua state: blocks under 1 MiB on the heap, bigger ones (big
// texts above all: an HTTP answer may be 64 MiB) in page regions of their own, with huge pages
// where the system has them. A region is known by its address in the allocator's region table,
// whatever size Lua later gives for it.
//
// Lua 5.1 takes a shrink to be unable to fail: a shrink that cannot move its block keeps it. A
// region that shrinks in place gives its pages past the new size back to the system.
//
// The Lua state is the main thread's; LuaAlloc is called there only. The ready blocks below may
// be made on any thread.
#pragma once

#include <cstddef>

void* LuaAlloc(void* ud, void* block, std::size_t oldSize, std::size_t newSize);

// Makes ready, with every page written once, the block that a Lua string of Length bytes takes
// when it is made, and returns it; LuaAlloc hands it out for the first block of that size Lua
// asks for. So the zeroing of fresh pages that a big text costs is paid on the calling (worker)
// thread, and the main thread's share is its copy. Nothing for a string that would not have a
// region of its own, or when no memory is had: nullptr.
void* ReadyLuaString(std::size_t length);
// Frees one block readied for Length bytes that Lua has not taken (the string was already in the
// state, say); nothing when there is none.
void ReleaseReadyLuaString(std::size_t length);
