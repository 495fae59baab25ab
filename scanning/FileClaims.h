#pragma once
// The one rule for every file a scan writes: a file is made only where nothing has its name (not
// even a symbolic link), under the next free name when its own is taken, and the only files ever
// written over or removed are the ones made this way in this run, or a file the user agreed to
// replace. Both scanning roads write and remove their files through here.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace scanning {

// The folder as a prefix for names: a folder typed without its closing "/" is that folder (an
// empty text stays empty).
std::string WithSeparator(std::string folder);

// A group name stays inside its folder: not empty, no "/" (nor a NUL), not "." or "..".
bool NameStaysInFolder(const std::string& name);
// What the user is told of a group name that names another folder.
std::string NameLeavesFolderText(const std::string& name);

// Every file the scanning code opens is opened here: without waiting (a FIFO or a device in a
// file's place would block the open, or the first read or write, for ever) and only when what
// was opened is a regular file. `flags` are open(2)'s (O_NOFOLLOW where a link must not be
// followed); the descriptor comes back blocking as usual. -1 with errno set otherwise: EISDIR for
// a folder, ENXIO for anything else that is not a regular file.
int OpenRegularFile(const std::string& path, int flags, mode_t mode = 0);
// The same as a stream (`how` as fdopen's), and as one for reading; null with errno set.
using FileStream = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
using ReadFile = FileStream;
FileStream OpenRegularStream(const std::string& path, int flags, mode_t mode, const char* how);
ReadFile OpenRegularForReading(const std::string& path, int flags = 0);
// The whole of a regular file opened so; nullopt when it is none or cannot be read.
std::optional<std::vector<std::uint8_t>> ReadRegularFile(const std::string& path, int flags = 0);

// Whether something has this name: a file, a folder, a link (a dangling one too). A name whose
// folder cannot be searched counts as free here: making the file then says why not.
bool PathTaken(const std::string& path);

// The name of a helper file beside `path`: path + suffix, with the name part shortened (never
// below one byte, never inside a UTF-8 character) where the two, with room left for a free
// variant's "-999", would not fit the file system's limit on a name.
std::string HelperName(const std::string& path, const std::string& suffix);

// The n-th other name for a file whose own is taken: "Name-n.ext" ("Name-n" without extension).
std::string FreeVariant(const std::string& path, int n);

// Closing a file of this run notes what it now is, so that it stays recognised as this run's own
// after its own writes (and is not mistaken for a file that later takes its name).
struct OwnFileCloser {
  void operator()(std::FILE* f) const;
};
using OwnFile = std::unique_ptr<std::FILE, OwnFileCloser>;
// Flushes and closes; false when anything written did not reach the file.
bool CloseOwnFile(OwnFile f);

// Opens `path` for writing from its start. A file made this run (and still that file) is emptied;
// any other name is made anew, exclusively (EEXIST when something has it). Null with errno set.
OwnFile OpenForWriting(const std::string& path);
// Opens a file made this run for patching in place; null (EPERM) for any other file.
OwnFile OpenOwnForUpdate(const std::string& path);

// Makes the first free name among path, FreeVariant(path, 1 .. 999) as an empty file of this
// run. On failure `path` is empty and `error` holds why (the first reason other than a taken name).
struct Claim {
  std::string path;
  int error = 0;
};
Claim ClaimFreeName(const std::string& path);

// Writes the file meant for `target` through `write` (given the name to write to, a file of this
// run). Where the user agreed to replace what has that name, or it is a file of this run, the file
// is written beside it under a free name and put in its place whole; otherwise it is made
// exclusively, under the next free name when `target` is taken. The name written, or empty with
// errno set (nothing is left behind).
std::string WriteFileAt(const std::string& target, bool replaceAgreed,
                        const std::function<bool(const std::string&)>& write);

// Puts a file of this run (the page a device delivered into a folder of the program's own) in
// `target`'s place by WriteFileAt's rule, its bytes copied so that the two may lie on different
// file systems, then removes it. The name written, or empty with errno set (`own` then stays).
std::string PutOwnFileAt(const std::string& own, const std::string& target, bool replaceAgreed);

bool IsOwnFile(const std::string& path);
// A file of this run that a device wrote into at the program's request stays this run's own (when
// it is still that file, not one put in its place).
void NoteWrittenByDevice(const std::string& path);
// A file of this run handed to the user (a saved picture, or a page only it holds that the user was
// told is kept): from here it is the user's, never removed or written over by this run, and its
// folder stays with it.
void KeepForUser(const std::string& path);
// Removes a file made this run that is still the file made; false, and nothing done, otherwise.
bool RemoveOwnFile(const std::string& path);
// Moves a file of this run to the first free name from `wanted` (copying it when the two are on
// different file systems). The name it now has, or empty (then it stays where it was).
std::string MoveOwnFileToFree(const std::string& own, const std::string& wanted);

// A folder of this run's own under `parent` ("<parent>/<prefix>XXXXXX", only this user may enter
// it); empty on failure (an empty parent too), with errno set. RemoveOwnFolder removes this
// run's files in it, then the folder when nothing else is left there.
std::string MakeOwnFolder(const std::string& parent, const std::string& prefix);
void RemoveOwnFolder(const std::string& folder);

}  // namespace scanning
