#include "core/PrivateFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/WriteAll.h"

namespace corvane {
namespace {

constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

FileError systemError(int code, std::string_view action, const std::string& path) {
    std::string message(action);
    message += ' ';
    message += path;
    message += ": ";
    message += std::generic_category().message(code);
    return FileError{code, std::move(message)};
}

Failure<FileError> failWithErrno(std::string_view action, const std::string& path) {
    return fail(systemError(errno, action, path));
}

// Closes a descriptor on every path out of a function.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now so that the caller sees a failing close (delayed write errors).
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

Result<Done, FileError> createFolders(const std::string& folder) {
    if (isFolder(folder)) return Done{};
    // Walk from the top so that every folder we make ourselves gets 0700
    // whatever the umask, while folders that already exist keep their mode.
    std::size_t position = folder.find_first_not_of('/');
    while (position != std::string::npos) {
        const auto end = folder.find('/', position);
        const std::string prefix = folder.substr(0, end);
        if (::mkdir(prefix.c_str(), kFolderMode) == 0) {
            if (::chmod(prefix.c_str(), kFolderMode) != 0) return failWithErrno("cannot set the mode of", prefix);
        } else if (errno != EEXIST) {
            return failWithErrno("cannot create folder", prefix);
        } else if (!isFolder(prefix)) {
            return fail(systemError(ENOTDIR, "cannot create folder", prefix));
        }
        position = end == std::string::npos ? end : folder.find_first_not_of('/', end);
    }
    return Done{};
}

// A rename is durable only once the folder entry itself reaches the disk.
Result<Done, FileError> syncFolder(const std::string& folder) {
    Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return failWithErrno("cannot open folder", folder);
    if (::fsync(fd.get()) != 0) return failWithErrno("cannot flush folder", folder);
    return Done{};
}

// Moves `from` to `to` unless `to` exists; false with errno otherwise.
bool renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without RENAME_NOREPLACE: link refuses an existing name too.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    return ::unlink(from.c_str()) == 0;
}

}  // namespace

Result<Done, FileError> PrivateFile::write(const std::string& path, std::string_view bytes) {
    const std::string folder = folderOf(path);
    if (auto created = createFolders(folder); !created) return created;

    std::string temp = folder + "/." + nameOf(path) + ".tmp-XXXXXX";
    Descriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return failWithErrno("cannot create a temporary file in", folder);

    const auto abandon = [&](std::string_view action) {
        const FileError error = systemError(errno, action, path);
        ::unlink(temp.c_str());
        return fail(error);
    };
    if (::fchmod(fd.get(), kFileMode) != 0) return abandon("cannot set the mode of the new");
    if (!writeAll(fd.get(), bytes)) return abandon("cannot write");
    if (::fsync(fd.get()) != 0) return abandon("cannot flush");
    if (fd.close() != 0) return abandon("cannot write");
    if (::rename(temp.c_str(), path.c_str()) != 0) return abandon("cannot replace");
    return syncFolder(folder);
}

Result<Done, FileError> PrivateFile::writeIfChanged(const std::string& path, std::string_view bytes) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 07777) == kFileMode &&
        static_cast<std::size_t>(info.st_size) == bytes.size()) {
        const auto current = read(path);
        if (current && *current == bytes) return Done{};
    }
    return write(path, bytes);
}

Result<std::string, PrivateFile::ReadError> PrivateFile::read(const std::string& path) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        const int code = errno;
        // A path through a plain file cannot name a file either.
        const auto kind = code == ENOENT || code == ENOTDIR ? ReadFailure::missing : ReadFailure::unreadable;
        return fail(ReadError{kind, systemError(code, "cannot open", path)});
    }
    // Read straight into the result, sized from fstat and grown should the
    // file grow meanwhile; the store files are megabytes.
    struct stat info {};
    const std::size_t expected =
        ::fstat(fd.get(), &info) == 0 && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
    std::string bytes(expected + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) bytes.resize(bytes.size() * 2 + 4096);
        const ssize_t count = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            return fail(ReadError{ReadFailure::unreadable, systemError(errno, "cannot read", path)});
        }
        filled += static_cast<std::size_t>(count);
    }
    bytes.resize(filled);
    return bytes;
}

Result<std::string, FileError> PrivateFile::keepAside(const std::string& path, Timestamp now) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(now.time_since_epoch()).count();
    const std::string base = path + ".corrupt-" + std::to_string(seconds);
    constexpr int kMaximumAttempts = 1000;
    for (int attempt = 0; attempt < kMaximumAttempts; ++attempt) {
        const std::string candidate = attempt == 0 ? base : base + "-" + std::to_string(attempt);
        if (renameWithoutReplacing(path, candidate)) {
            if (auto synced = syncFolder(folderOf(path)); !synced) return fail(synced.error());
            return candidate;
        }
        if (errno != EEXIST) return failWithErrno("cannot keep aside", path);
    }
    return fail(systemError(EEXIST, "cannot find a free name to keep aside", path));
}

std::optional<FileIdentity> PrivateFile::identity(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::int64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtim.tv_sec),
                        static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

}  // namespace corvane
