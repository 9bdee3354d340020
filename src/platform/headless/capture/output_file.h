// Files the capture tool writes: never half a file under the requested name.
// Bytes go to a hidden temporary file beside the target, which is renamed to
// the target only after every write and the close succeeded; on any failure
// the temporary file is removed and the target is left as it was. A target
// that exists and is not a regular file (a device such as /dev/full, a pipe)
// is written in place, as renaming over it would replace the device; a pipe
// with no reader is waited for, saying so. A symbolic link is written through:
// the file it names is replaced, the link stays.
#pragma once

#include "imaging/non_copyable.h"

#include <cstdio>
#include <string>

class OutputFile : NonCopyable {
  public:
    OutputFile() = default;
    ~OutputFile() { discard(); }

    // Starts the file `path`. False, with "cannot write PATH: reason" in `error`.
    bool open(const std::string& path, std::string& error);
    // Appends bytes; false with the reason once a write fails.
    bool write(const void* data, std::size_t size, std::string& error);
    // Closes, checks and puts the file in place under its name.
    bool commit(std::string& error);
    // Closes and removes the temporary file (nothing once committed).
    void discard();

    // Where the bytes go until commit: the temporary name, or the target itself.
    const std::string& writingPath() const { return writing; }
    const std::string& targetPath() const { return target; }

    // For writers that open the file themselves (the video muxer): a name for
    // the temporary file beside `path`, or `path` itself for a device or pipe.
    static std::string temporaryNameFor(const std::string& path);
    // The file `path` names once symbolic links are followed.
    static std::string finalPathFor(const std::string& path);
#ifndef _WIN32
    // Opens the pipe `path` for writing, first saying on standard error that
    // it waits when nobody reads it yet; a stop signal ends the wait. The
    // descriptor, or -1 with "cannot write PATH: reason" in `error`.
    static int openPipe(const std::string& path, std::string& error);
#endif
    // Renames `temporary` to `path` (nothing to do when they are the same).
    static bool moveInPlace(const std::string& temporary, const std::string& path,
                            std::string& error);
    // Removes `temporary` unless it is `path` itself.
    static void removeTemporary(const std::string& temporary, const std::string& path);

  private:
    std::FILE* file = nullptr;
    std::string target;
    std::string writing;
};

// Writes `bytes` to `path` through an OutputFile; an empty path is standard
// output, whose flush is checked too.
bool writeOutput(const std::string& path, const std::string& bytes, std::string& error);
