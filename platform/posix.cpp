// POSIX implementation of the platform layer.
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace corvane {

// ---------------------------------------------------------------- files

struct File::Handle {
    int fd = -1;
};

bool File::open(const std::string& path, Mode mode) {
    close();
    int flags = O_RDONLY;
    switch (mode) {
        case Mode::read: flags = O_RDONLY; break;
        case Mode::create: flags = O_RDWR | O_CREAT | O_TRUNC; break;
        case Mode::update: flags = O_RDWR; break;
        case Mode::readonly: flags = O_RDONLY; break;
        case Mode::append: flags = O_RDWR | O_CREAT | O_APPEND; break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return false;
    }
    handle_ = new Handle{fd};
    return true;
}

std::int64_t File::read(void* buffer, std::size_t size) {
    if (!handle_) return -1;
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(handle_->fd, static_cast<char*>(buffer) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t File::readat(std::int64_t offset, void* buffer, std::size_t size) {
    if (!handle_ || offset < 0) return -1;
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(handle_->fd, static_cast<char*>(buffer) + done, size - done,
                            static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t File::length() {
    if (!handle_) return -1;
    struct stat st;
    if (::fstat(handle_->fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool File::write(const void* data, std::size_t size) {
    if (!handle_) return false;
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(handle_->fd, static_cast<const char*>(data) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;  // nothing taken: the device is full, errno holds nothing of it
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool File::truncate(std::int64_t length) {
    if (!handle_) {
        errno = EBADF;
        return false;
    }
    int rc;
    do {
        rc = ::ftruncate(handle_->fd, static_cast<off_t>(length));
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool File::writeat(std::int64_t offset, const void* data, std::size_t size) {
    if (!handle_) return false;
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(handle_->fd, static_cast<const char*>(data) + done, size - done,
                             static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool File::close() {
    if (!handle_) return true;
    int rc = ::close(handle_->fd);
    delete handle_;
    handle_ = nullptr;
    return rc == 0 || errno == EINTR;
}

File::Removal File::deleteifsame(const std::string& path) {
    switch (namedby(path)) {
        case Naming::none: return Removal::gone;
        case Naming::other: return Removal::replaced;
        case Naming::failed: return Removal::failed;
        case Naming::same: break;
    }
    if (::unlink(path.c_str()) == 0) return Removal::deleted;
    return errno == ENOENT ? Removal::gone : Removal::failed;
}

File::Naming File::namedby(const std::string& path) {
    if (!handle_) {
        errno = EBADF;
        return Naming::failed;
    }
    struct stat mine, named;
    if (::fstat(handle_->fd, &mine) != 0) return Naming::failed;
    if (::stat(path.c_str(), &named) != 0) return errno == ENOENT ? Naming::none : Naming::failed;
    return mine.st_dev == named.st_dev && mine.st_ino == named.st_ino ? Naming::same : Naming::other;
}

FileKind filekind(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) return FileKind::failed;
        // Nothing of the name: does its folder exist?
        const std::size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) return FileKind::none;
        const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
        const int saved = errno;
        const bool isfolder = ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        errno = saved;
        return isfolder ? FileKind::none : FileKind::nofolder;
    }
    if (S_ISREG(st.st_mode)) return FileKind::regular;
    if (S_ISDIR(st.st_mode)) return FileKind::directory;
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return FileKind::device;
    if (S_ISFIFO(st.st_mode)) return FileKind::pipe;
    return FileKind::other;
}

std::string renametarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

bool copyownerandmode(const std::string& from, const std::string& to) {
    struct stat old, made;
    if (::stat(from.c_str(), &old) != 0) return errno == ENOENT;
    if (::stat(to.c_str(), &made) != 0) return false;
    if ((old.st_uid != made.st_uid || old.st_gid != made.st_gid) &&
        ::chown(to.c_str(), old.st_uid, old.st_gid) != 0)
        return false;
    return ::chmod(to.c_str(), old.st_mode & 07777) == 0;
}

bool fileexists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool deletefile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool renamefile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

RenameResult renamenoreplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return RenameResult::done;
    if (errno == EEXIST) return RenameResult::exists;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return RenameResult::failed;
#endif
    // A file system without the flag: a second name never replaces one, then
    // the first goes.
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0) return RenameResult::done;
        const int saved = errno;
        ::unlink(to.c_str());
        errno = saved;
        return RenameResult::failed;
    }
    if (errno == EEXIST) return RenameResult::exists;
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EXDEV) return RenameResult::failed;
    // No links either: a look just before the rename.
    if (fileexists(to)) return RenameResult::exists;
    return std::rename(from.c_str(), to.c_str()) == 0 ? RenameResult::done : RenameResult::failed;
}

std::string lastoserror() { return std::strerror(errno); }

void binarystdin() {}

// ---------------------------------------------------------------- console

namespace {

class PosixConsole : public Console {
public:
    PosixConsole() : terminal_(::isatty(STDOUT_FILENO) == 1) {}
    void write(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    void writeline(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    void column1() override {
        if (terminal_) write("\r");
    }
    void rowup() override {
        if (terminal_) write("\x1b[A\r");
    }

private:
    bool terminal_;
};

// ---------------------------------------------------------------- keyboard

struct termios savedterminal;
volatile sig_atomic_t terminalchanged = 0;

void restoreterminal() {
    if (terminalchanged) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &savedterminal);
        terminalchanged = 0;
    }
}

void onsignal(int sig) {
    restoreterminal();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

class PosixKeyboard : public PolledKeyboard {
public:
    PosixKeyboard() {
        if (::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &savedterminal) == 0) {
            struct termios raw = savedterminal;
            raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
            raw.c_cc[VMIN] = 0;
            raw.c_cc[VTIME] = 0;
            if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
                terminalchanged = 1;
                std::atexit(restoreterminal);
                ::signal(SIGINT, onsignal);
                ::signal(SIGTERM, onsignal);
                ::signal(SIGHUP, onsignal);
            }
        }
    }
    ~PosixKeyboard() override { restoreterminal(); }

private:
    int pollbyte() override {
        struct pollfd p = {STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) return nokey;
        if (p.revents & (POLLIN | POLLHUP)) {
            unsigned char c;
            ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n == 1) return c;
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return endofinput;
            return nokey;
        }
        if (p.revents & (POLLERR | POLLNVAL)) return endofinput;
        return nokey;
    }
};

// ---------------------------------------------------------------- clock

class PosixClock : public Clock {
public:
    double counter() override {
        struct timespec ts;
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }
    std::string timetext() override { return utctext("%H:%M:%S"); }
    std::string datetext() override { return utctext("%m-%d-%Y"); }
    DateTime datetime() override {
        const struct tm utc = utcnow();
        return {format(utc, "%m-%d-%Y"), format(utc, "%H:%M:%S")};
    }
    void sleepms(int milliseconds) override {
        if (milliseconds <= 0) return;
        struct timespec ts = {milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
        while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }

private:
    static struct tm utcnow() {
        time_t now = ::time(nullptr);
        struct tm utc;
        ::gmtime_r(&now, &utc);
        return utc;
    }
    static std::string format(const struct tm& utc, const char* pattern) {
        char buffer[32];
        if (std::strftime(buffer, sizeof buffer, pattern, &utc) == 0) return std::string();
        return buffer;
    }
    static std::string utctext(const char* pattern) {
        return format(utcnow(), pattern);
    }
};

struct SystemPlatform : Platform {
    PosixConsole consoleimpl;
    PosixKeyboard keyboardimpl;
    PosixClock clockimpl;
    SystemCommandRunner commandsimpl;
    SystemPlatform() : Platform(consoleimpl, keyboardimpl, clockimpl, commandsimpl) {}
};

}  // namespace

std::unique_ptr<Platform> makesystemplatform() {
    // A closed pipe reader must not kill the monitor while it writes.
    ::signal(SIGPIPE, SIG_IGN);
    return std::make_unique<SystemPlatform>();
}

}  // namespace corvane
