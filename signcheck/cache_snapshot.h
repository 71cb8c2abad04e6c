// A private copy of the launchers' cache file, for a replay that should find
// the verdicts a launch would find without leaving any of its own.
#pragma once

#include <string>

class CacheSnapshot {
 public:
  enum class State {
    None,        // no cache file to copy (no product folder)
    Copied,      // the copy holds what the file held
    Absent,      // the file does not exist: a launch finds no verdicts either
    Unreadable,  // a link, or held by another process past the launchers' wait: neither can a launch read it
    NotCopied,   // the copy could not be made
    Corrupt,     // copied, but no valid cache file: a launch finds no verdicts in it and deletes it
  };

  // Copies the cache file at `path` (empty: none) into a new file in the
  // temp folder, reading it as a launch reads it: under the cache lock,
  // without sharing, never through a link.
  explicit CacheSnapshot(const std::wstring& path);
  // Deletes the copy.
  ~CacheSnapshot();
  CacheSnapshot(const CacheSnapshot&) = delete;
  CacheSnapshot& operator=(const CacheSnapshot&) = delete;

  State GetState() const { return state_; }
  // The copy; empty unless Copied (a corrupt file's verdicts are none).
  std::wstring CopyPath() const { return state_ == State::Copied ? copy_ : std::wstring(); }

 private:
  State state_ = State::None;
  std::wstring copy_;
};
