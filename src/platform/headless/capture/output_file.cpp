// Checked writes through a temporary file beside the target.
#include "output_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

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

} // namespace

std::string OutputFile::temporaryNameFor(const std::string& path) {
    if (isDeviceOrPipe(path))
        return path;
    static std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".part-%08llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFu));
    return folder + "." + base + suffix;
}

bool OutputFile::moveInPlace(const std::string& temporary, const std::string& path,
                             std::string& error) {
    if (temporary == path)
        return true;
    std::error_code code;
    fs::rename(temporary, path, code);
#ifdef _WIN32
    // The Windows runtime does not rename over an existing file.
    if (code && fs::is_regular_file(path)) {
        std::error_code ignored;
        if (fs::remove(path, ignored)) {
            code.clear();
            fs::rename(temporary, path, code);
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
    file = std::fopen(writing.c_str(), "wb");
    if (!file) {
        error = cannotWrite(path, reason(errno));
        writing.clear();
        return false;
    }
    return true;
}

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
