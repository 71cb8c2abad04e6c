// The controls of the in-memory Windows that the natively built cache code
// runs on: one process's view of a file system, the named lock and the tick
// clock, with the faults that other processes or a scanner would cause.
// Sleeping and waiting advance the clock instead of taking time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace in_memory_windows {

// What another process does to the cache lock.
enum class LockState {
  kFree,
  kSquatted,  // another kind of object has the name: creation fails
  kHeld,      // held elsewhere for good: every wait runs out
};

// Forgets every file, handle, fault and lock; the clock starts at zero and
// the folders "C:" and "C:\app" exist.
void Reset();

// Creates or replaces a file (its folder must exist) / reads one back.
void PutFile(const std::wstring& path, const std::vector<uint8_t>& bytes);
bool GetFile(const std::wstring& path, std::vector<uint8_t>& bytes);
bool FileExists(const std::wstring& path);

// The next `count` opens of any file meet a sharing violation, as while a
// peer holds the file.
void SetBusyOpens(unsigned count);
// The next read fails, as on a device error.
void FailNextRead();
// Leaves `bytes` of room for the files to grow by: a write that needs more
// writes what fits and fails, as on a full disk.
void SetFreeSpace(uint64_t bytes);
// Opens of `path` that ask for read access are refused; write-only opens
// succeed (a file whose permissions let it be replaced but not read).
void DenyReading(const std::wstring& path, bool deny);
void SetLockState(LockState state);
// Ends every fault above: files open at once, reads work, the disk has room,
// the lock is free.
void ClearFaults();

// Milliseconds spent in waits on the lock since Reset.
uint64_t WaitedMilliseconds();
// Handles that were opened and not yet closed.
size_t OpenHandleCount();

}  // namespace in_memory_windows
