// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PrivateFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <system_error>

#include <dirent.h>
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

FileIdentity identityOf(const struct stat& info) {
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::int64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtim.tv_sec),
                        static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

// What mkostemp makes of the pattern: the fixed part, then six characters.
constexpr std::string_view kTemporaryMarker = ".tmp-";
constexpr std::size_t kTemporaryRandomLength = 6;

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

std::string temporaryPrefix(const std::string& path) { return "." + nameOf(path) + std::string(kTemporaryMarker); }

std::string spareOf(const std::string& path) { return folderOf(path) + "/." + nameOf(path) + ".spare"; }

// The spare, opened for writing when it is a regular file that only this
// name reaches and that we own; absent otherwise (errno not meaningful).
std::optional<int> openSpare(const std::string& spare, struct stat& info) {
    const int fd = ::open(spare.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, kFileMode);
    if (fd < 0) return std::nullopt;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 && info.st_uid == ::geteuid()) return fd;
    ::close(fd);
    return std::nullopt;
}

}  // namespace

Result<FileIdentity, FileError> PrivateFile::write(const std::string& path, std::string_view bytes) {
    const std::string folder = folderOf(path);
    if (auto created = createFolders(folder); !created) return fail(created.error());

    std::string temp = folder + "/" + temporaryPrefix(path) + std::string(kTemporaryRandomLength, 'X');
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
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return abandon("cannot examine the new");
    if (fd.close() != 0) return abandon("cannot write");
    if (::rename(temp.c_str(), path.c_str()) != 0) return abandon("cannot replace");
    if (auto synced = syncFolder(folder); !synced) return fail(synced.error());
    return identityOf(info);
}

Result<FileIdentity, FileError> PrivateFile::writeReusingSpare(const std::string& path, std::string_view bytes) {
    const std::string folder = folderOf(path);
    if (auto created = createFolders(folder); !created) return fail(created.error());
    const std::string spare = spareOf(path);
    struct stat info {};
    const auto opened = openSpare(spare, info);
    if (!opened) {
        // Only our own name for it goes; whatever it points to stays.
        ::unlink(spare.c_str());
        return write(path, bytes);
    }
    Descriptor fd(*opened);
    const auto failed = [&](std::string_view action) { return failWithErrno(action, spare); };
    if ((info.st_mode & 07777) != kFileMode && ::fchmod(fd.get(), kFileMode) != 0) return failed("cannot set the mode of");
    if (!writeAll(fd.get(), bytes)) return failed("cannot write");
    if (static_cast<std::uintmax_t>(info.st_size) > bytes.size() &&
        ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0) {
        return failed("cannot shorten");
    }
    // The size is among what fdatasync flushes; the mode and times reach the
    // disk with the folder's flush below.
    if (::fdatasync(fd.get()) != 0) return failed("cannot flush");
    if (::fstat(fd.get(), &info) != 0) return failed("cannot examine");
    if (fd.close() != 0) return failed("cannot write");
    if (::renameat2(AT_FDCWD, spare.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0) {
        // No file to exchange with yet, or a file system that cannot exchange.
        if ((errno != ENOENT && errno != EINVAL && errno != ENOSYS) || ::rename(spare.c_str(), path.c_str()) != 0) {
            return failWithErrno("cannot replace", path);
        }
    }
    if (auto synced = syncFolder(folder); !synced) return fail(synced.error());
    return identityOf(info);
}

Result<Done, FileError> PrivateFile::writeIfChanged(const std::string& path, std::string_view bytes) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 07777) == kFileMode &&
        static_cast<std::size_t>(info.st_size) == bytes.size()) {
        const auto current = read(path);
        if (current && *current == bytes) return Done{};
    }
    if (auto written = write(path, bytes); !written) return fail(written.error());
    return Done{};
}

Result<std::string, PrivateFile::ReadError> PrivateFile::read(const std::string& path, FileIdentity* identity) {
    // Non-blocking, so that opening a FIFO without a writer returns at once;
    // it has no effect on the regular files that are read below.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        const int code = errno;
        // A path through a plain file cannot name a file either.
        const auto kind = code == ENOENT || code == ENOTDIR ? ReadFailure::missing : ReadFailure::unreadable;
        return fail(ReadError{kind, systemError(code, "cannot open", path)});
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return fail(ReadError{ReadFailure::unreadable, systemError(errno, "cannot examine", path)});
    }
    if (!S_ISREG(info.st_mode)) {
        return fail(ReadError{ReadFailure::unreadable, FileError{0, path + " is not a regular file"}});
    }
    const auto tooLarge = [&path] {
        return fail(ReadError{ReadFailure::unreadable, FileError{EFBIG, path + " is larger than any file of ours"}});
    };
    if (static_cast<std::uintmax_t>(info.st_size) > kReadLimit) return tooLarge();
    if (identity) *identity = identityOf(info);
    // Read straight into the result, sized from fstat and grown should the
    // file grow meanwhile, though never past the limit.
    std::string bytes(static_cast<std::size_t>(info.st_size) + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > kReadLimit) return tooLarge();
            bytes.resize(std::min(bytes.size() * 2 + 4096, kReadLimit + 1));
        }
        const ssize_t count = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            return fail(ReadError{ReadFailure::unreadable, systemError(errno, "cannot read", path)});
        }
        filled += static_cast<std::size_t>(count);
    }
    if (filled > kReadLimit) return tooLarge();
    bytes.resize(filled);
    return bytes;
}

std::size_t PrivateFile::removeStaleTemporaries(const std::string& path) {
    const std::string folder = folderOf(path);
    const std::string prefix = temporaryPrefix(path);
    DIR* listing = ::opendir(folder.c_str());
    if (!listing) return 0;
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name(entry->d_name);
        if (name.size() != prefix.size() + kTemporaryRandomLength || !name.starts_with(prefix)) continue;
        // Never follows a link and never removes a folder.
        if (::unlinkat(::dirfd(listing), entry->d_name, 0) == 0) ++removed;
    }
    ::closedir(listing);
    return removed;
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
    return identityOf(info);
}

}  // namespace corvane
