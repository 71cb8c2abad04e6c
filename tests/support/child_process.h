// Starting and watching other programs, for tests that need a second process
// (share modes, named objects, several cache writers at once) or run the
// product's programs. Every process a test starts goes through here.
#pragma once

#include <string>

#include "platform/unique_handle.h"

// The full path of a program built next to the running test program.
std::wstring SiblingProgram(const std::wstring& fileName);

// Starts `program` with `arguments` (already quoted as needed); an invalid
// handle when it could not be started.
platform::UniqueKernelHandle StartProcess(const std::wstring& program, const std::wstring& arguments);

// The same, with the child's standard output and standard error written to
// the files `outputFile` and `errorFile` (made anew; one path may serve
// both), no standard input and no console window of its own.
platform::UniqueKernelHandle StartProcess(const std::wstring& program, const std::wstring& arguments,
                                          const std::wstring& outputFile, const std::wstring& errorFile);

// A process whose first thread waits to be resumed (ResumeThread on
// `thread`): a test can change the program's files before any of its code
// runs.
struct SuspendedProcess {
  platform::UniqueKernelHandle process;
  platform::UniqueKernelHandle thread;
};
SuspendedProcess StartSuspendedProcess(const std::wstring& program, const std::wstring& arguments);

// The exit code, or STILL_ACTIVE when the process did not end in time.
DWORD WaitForExit(const platform::UniqueKernelHandle& process, DWORD milliseconds);

// Polls until `path` exists; false after `milliseconds`.
bool WaitForFile(const std::wstring& path, DWORD milliseconds);

// `text` in double quotes, for a command line.
std::wstring Quoted(const std::wstring& text);

// A symbolic link made by Linux itself, as a link made outside Windows is:
// Wine follows it whatever the flags. `link` and `target` are Windows paths.
// The link is removed again (from the Linux side, since deleting it through
// Wine deletes its target) when the object goes.
class LinuxSymlink {
 public:
  LinuxSymlink(const std::wstring& link, const std::wstring& target);
  ~LinuxSymlink();
  LinuxSymlink(const LinuxSymlink&) = delete;
  LinuxSymlink& operator=(const LinuxSymlink&) = delete;

  // False outside Wine, or when the link could not be made.
  bool Made() const { return made_; }

 private:
  std::wstring link_;
  std::wstring unixLink_;
  bool made_ = false;
};
