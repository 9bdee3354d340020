// Checked writes through a temporary file beside the target.
#include "output_file.h"

#include "output_name.h"
#include "stop_signals.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string reason(int errorNumber) {
    return errorNumber ? std::strerror(errorNumber) : "write failed";
}

std::string cannotWrite(const std::string& path, const std::string& why) {
    return "cannot write " + path + ": " + why;
}

bool isDeviceOrPipe(const std::string& path) {
    std::error_code code;
    const fs::file_status status = fs::status(path, code);
    return !code && fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
}

// Longest name of one folder entry on the file systems we write to.
constexpr std::size_t maxNameBytes = 255;

// The first `bytes` bytes of `name`, not ending inside a UTF-8 character.
std::string cutName(const std::string& name, std::size_t bytes) {
    if (name.size() <= bytes)
        return name;
    while (bytes > 0 && (static_cast<unsigned char>(name[bytes]) & 0xC0) == 0x80)
        --bytes;
    return name.substr(0, bytes);
}

} // namespace

std::string OutputFile::finalPathFor(const std::string& path) {
    // A link to a link is followed too, up to the kernel's own limit of 40.
    std::string resolved = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code code;
        if (!fs::is_symlink(fs::symlink_status(resolved, code)) || code)
            break;
        const fs::path target = fs::read_symlink(resolved, code);
        if (code)
            break;
        resolved = target.is_absolute()
                       ? target.string()
                       : (fs::path(resolved).parent_path() / target).lexically_normal().string();
    }
    return resolved;
}

std::string OutputFile::temporaryNameFor(const std::string& requested) {
    if (isDeviceOrPipe(requested))
        return requested;
    const std::string path = finalPathFor(requested);
    static std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".part-%08llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFu));
    // A name near the limit is shortened so that the dot and suffix still fit.
    const std::size_t room = maxNameBytes - 1 - std::strlen(suffix);
    return folder + "." + cutName(base, room) + suffix;
}

bool OutputFile::moveInPlace(const std::string& temporary, const std::string& path,
                             std::string& error) {
    if (temporary == path)
        return true;
    // Through a symbolic link to the file it names: the link stays a link.
    const std::string final = finalPathFor(path);
    std::error_code code;
    fs::rename(temporary, final, code);
#ifdef _WIN32
    // The Windows runtime does not rename over an existing file.
    if (code && fs::is_regular_file(final)) {
        std::error_code ignored;
        if (fs::remove(final, ignored)) {
            code.clear();
            fs::rename(temporary, final, code);
        }
    }
#endif
    if (code) {
        error = cannotWrite(path, code.message());
        removeTemporary(temporary, path);
        return false;
    }
    return true;
}

void OutputFile::removeTemporary(const std::string& temporary, const std::string& path) {
    if (temporary != path && !temporary.empty())
        std::remove(temporary.c_str());
}

bool OutputFile::open(const std::string& path, std::string& error) {
    discard();
    target = path;
    writing = temporaryNameFor(path);
    errno = 0;
#ifndef _WIN32
    if (writing == path && fs::is_fifo(path)) {
        const int descriptor = openPipe(path, error);
        file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
        if (!file) {
            if (descriptor >= 0)
                close(descriptor);
            writing.clear();
            return false;
        }
        return true;
    }
#endif
    file = std::fopen(writing.c_str(), "wb");
    if (!file) {
        error = cannotWrite(path, reason(errno));
        writing.clear();
        return false;
    }
    return true;
}

#ifndef _WIN32
int OutputFile::openPipe(const std::string& path, std::string& error) {
    // Without a reader an open for writing would wait, silently, for ever.
    int descriptor = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0 && errno == ENXIO) {
        std::fprintf(stderr, "shadestrip-capture: waiting for a reader of the pipe %s\n",
                     printable(path).c_str());
        std::fflush(stderr);
        do
            descriptor = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        while (descriptor < 0 && errno == EINTR && !StopSignals::received());
    }
    if (descriptor < 0) {
        error = cannotWrite(path, StopSignals::received() ? "interrupted" : reason(errno));
        return -1;
    }
    // Writes block again once a reader is there, as they would on any pipe.
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    return descriptor;
}
#endif

bool OutputFile::write(const void* data, std::size_t size, std::string& error) {
    if (!file) {
        error = cannotWrite(target, "not open");
        return false;
    }
    errno = 0;
    if (size && std::fwrite(data, 1, size, file) != size) {
        error = cannotWrite(target, reason(errno));
        discard();
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string& error) {
    if (!file) {
        error = cannotWrite(target, "not open");
        return false;
    }
    // Buffered bytes reach the disk at the flush: a full disk shows up here.
    errno = 0;
    const bool flushed = std::fflush(file) == 0;
    const int flushError = errno;
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    const int closeError = errno;
    file = nullptr;
    if (!flushed || !closed) {
        error = cannotWrite(target, reason(!flushed ? flushError : closeError));
        removeTemporary(writing, target);
        writing.clear();
        return false;
    }
    const bool moved = moveInPlace(writing, target, error);
    writing.clear();
    return moved;
}

void OutputFile::discard() {
    if (file) {
        std::fclose(file);
        file = nullptr;
    }
    removeTemporary(writing, target);
    writing.clear();
}

bool writeOutput(const std::string& path, const std::string& bytes, std::string& error) {
    if (path.empty()) {
        errno = 0;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
        if (!written || std::fflush(stdout) != 0) {
            error = "cannot write to standard output: " + reason(errno);
            return false;
        }
        return true;
    }
    OutputFile file;
    return file.open(path, error) && file.write(bytes.data(), bytes.size(), error) &&
           file.commit(error);
}
