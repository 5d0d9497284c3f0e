// Win32 implementation of the platform layer.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <conio.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/platform.h"

namespace corvane {

namespace {

std::wstring widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) {  // not UTF-8: take the bytes as the ANSI code page
        n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring w(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
        return w;
    }
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
    return w;
}

thread_local DWORD lasterror = 0;

bool fail() {
    lasterror = GetLastError();
    return false;
}

}  // namespace

// ---------------------------------------------------------------- files

struct File::Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
};

bool File::open(const std::string& path, Mode mode) {
    close();
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
        case Mode::read: break;
        case Mode::create: access = GENERIC_READ | GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
        case Mode::update: access = GENERIC_READ | GENERIC_WRITE; disposition = OPEN_EXISTING; break;
        case Mode::readonly: break;
        // Without FILE_WRITE_DATA every write goes to the end of the file.
        case Mode::append: access = GENERIC_READ | FILE_APPEND_DATA; disposition = OPEN_ALWAYS; break;
    }
    // Others may read, write and delete while the file is open: a viewer can
    // show the bitmap and the receiver program can hand over the next file.
    HANDLE h = CreateFileW(widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return fail();
    handle_ = new Handle{h};
    return true;
}

std::int64_t File::read(void* buffer, std::size_t size) {
    if (!handle_) return -1;
    std::size_t done = 0;
    while (done < size) {
        DWORD chunk = static_cast<DWORD>(size - done > 0x40000000 ? 0x40000000 : size - done);
        DWORD got = 0;
        if (!ReadFile(handle_->h, static_cast<char*>(buffer) + done, chunk, &got, nullptr)) {
            fail();
            return -1;
        }
        if (got == 0) break;
        done += got;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t File::readat(std::int64_t offset, void* buffer, std::size_t size) {
    if (!handle_ || offset < 0) return -1;
    // Positioned reads move the file pointer of a synchronous handle: keep it.
    LARGE_INTEGER zero, current, position;
    zero.QuadPart = 0;
    position.QuadPart = offset;
    if (!SetFilePointerEx(handle_->h, zero, &current, FILE_CURRENT) ||
        !SetFilePointerEx(handle_->h, position, nullptr, FILE_BEGIN)) {
        fail();
        return -1;
    }
    const std::int64_t n = read(buffer, size);
    if (!SetFilePointerEx(handle_->h, current, nullptr, FILE_BEGIN)) {
        fail();
        return -1;
    }
    return n;
}

std::int64_t File::length() {
    if (!handle_) return -1;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_->h, &size)) {
        fail();
        return -1;
    }
    return size.QuadPart;
}

bool File::write(const void* data, std::size_t size) {
    if (!handle_) return false;
    std::size_t done = 0;
    while (done < size) {
        DWORD chunk = static_cast<DWORD>(size - done > 0x40000000 ? 0x40000000 : size - done);
        DWORD put = 0;
        if (!WriteFile(handle_->h, static_cast<const char*>(data) + done, chunk, &put, nullptr)) return fail();
        if (put == 0) {  // nothing taken: the disk is full
            SetLastError(ERROR_DISK_FULL);
            return fail();
        }
        done += put;
    }
    return true;
}

bool File::truncate(std::int64_t length) {
    if (!handle_) return false;
    // A file opened for appending has no right to set its end: a second
    // handle of the same file with write access does it.
    HANDLE h = ReOpenFile(handle_->h, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (h == INVALID_HANDLE_VALUE) return fail();
    LARGE_INTEGER position;
    position.QuadPart = length;
    const bool ok = SetFilePointerEx(h, position, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    if (!ok) fail();
    CloseHandle(h);
    return ok;
}

bool File::writeat(std::int64_t offset, const void* data, std::size_t size) {
    if (!handle_) return false;
    LARGE_INTEGER position;
    position.QuadPart = offset;
    if (!SetFilePointerEx(handle_->h, position, nullptr, FILE_BEGIN)) return fail();
    return write(data, size);
}

bool File::close() {
    if (!handle_) return true;
    BOOL ok = CloseHandle(handle_->h);
    delete handle_;
    handle_ = nullptr;
    return ok ? true : fail();
}

File::Removal File::deleteifsame(const std::string& path) {
    if (!handle_) {
        SetLastError(ERROR_INVALID_HANDLE);
        fail();
        return Removal::failed;
    }
    BY_HANDLE_FILE_INFORMATION mine, named;
    if (!GetFileInformationByHandle(handle_->h, &mine)) {
        fail();
        return Removal::failed;
    }
    // Another program deleted the file while it is open here: it goes when
    // the handle is closed.
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(handle_->h, FileStandardInfo, &standard, sizeof standard) &&
        standard.DeletePending)
        return Removal::gone;
    // The file now named path, opened for deleting; the delete goes through
    // this handle, so it removes the very file whose ID was compared.
    HANDLE h = CreateFileW(widen(path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        fail();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Removal::gone : Removal::failed;
    }
    Removal result = Removal::failed;
    if (!GetFileInformationByHandle(h, &named)) {
        fail();
    } else if (named.dwVolumeSerialNumber != mine.dwVolumeSerialNumber ||
               named.nFileIndexHigh != mine.nFileIndexHigh || named.nFileIndexLow != mine.nFileIndexLow) {
        result = Removal::replaced;
    } else {
        FILE_DISPOSITION_INFO info{};
        info.DeleteFile = TRUE;
        if (SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info))
            result = Removal::deleted;
        else
            fail();
    }
    CloseHandle(h);
    return result;
}

File::Naming File::namedby(const std::string& path) {
    if (!handle_) {
        SetLastError(ERROR_INVALID_HANDLE);
        fail();
        return Naming::failed;
    }
    BY_HANDLE_FILE_INFORMATION mine, named;
    if (!GetFileInformationByHandle(handle_->h, &mine)) {
        fail();
        return Naming::failed;
    }
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(handle_->h, FileStandardInfo, &standard, sizeof standard) &&
        standard.DeletePending)
        return Naming::none;
    HANDLE h = CreateFileW(widen(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        fail();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Naming::none : Naming::failed;
    }
    Naming result = Naming::failed;
    if (!GetFileInformationByHandle(h, &named))
        fail();
    else
        result = named.dwVolumeSerialNumber == mine.dwVolumeSerialNumber &&
                         named.nFileIndexHigh == mine.nFileIndexHigh && named.nFileIndexLow == mine.nFileIndexLow
                     ? Naming::same
                     : Naming::other;
    CloseHandle(h);
    return result;
}

// No device files are reached by name here: a name is a file, a folder or
// nothing.
FileKind filekind(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        fail();
        if (error == ERROR_FILE_NOT_FOUND) return FileKind::none;
        if (error == ERROR_PATH_NOT_FOUND) return FileKind::nofolder;
        return FileKind::failed;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::directory : FileKind::regular;
}

// The bitmap's link, owner and access rights stay those of a rename's new
// file on Windows: links are rare there and access rights are inherited
// from the folder.
std::string renametarget(const std::string& path) { return path; }

bool copyownerandmode(const std::string&, const std::string&) { return true; }

bool fileexists(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES ? true : fail();
}

bool deletefile(const std::string& path) { return DeleteFileW(widen(path).c_str()) ? true : fail(); }

bool renamefile(const std::string& from, const std::string& to) {
    return MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING) ? true : fail();
}

RenameResult renamenoreplace(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING a move never replaces a file.
    if (MoveFileExW(widen(from).c_str(), widen(to).c_str(), 0)) return RenameResult::done;
    const DWORD error = GetLastError();
    fail();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? RenameResult::exists : RenameResult::failed;
}

void binarystdin() { _setmode(_fileno(stdin), _O_BINARY); }

std::string lastoserror() {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, lasterror, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n && text ? std::string(text, n) : "error " + std::to_string(lasterror);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

// ---------------------------------------------------------------- console

namespace {

class Win32Console : public Console {
public:
    Win32Console() : out_(GetStdHandle(STD_OUTPUT_HANDLE)) {
        DWORD mode;
        terminal_ = out_ != INVALID_HANDLE_VALUE && GetConsoleMode(out_, &mode);
    }
    void write(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    void writeline(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    void column1() override { moveto(0); }
    void rowup() override { moveto(-1); }

private:
    void moveto(int rows) {
        if (!terminal_) return;
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!GetConsoleScreenBufferInfo(out_, &info)) return;
        COORD position = info.dwCursorPosition;
        position.X = 0;
        if (rows < 0 && position.Y > 0) position.Y = static_cast<SHORT>(position.Y - 1);
        SetConsoleCursorPosition(out_, position);
    }
    HANDLE out_;
    bool terminal_ = false;
};

// ---------------------------------------------------------------- keyboard

class Win32Keyboard : public PolledKeyboard {
public:
    Win32Keyboard() : in_(GetStdHandle(STD_INPUT_HANDLE)) {
        DWORD mode;
        console_ = in_ != INVALID_HANDLE_VALUE && GetConsoleMode(in_, &mode);
        pipe_ = !console_ && in_ != INVALID_HANDLE_VALUE && GetFileType(in_) == FILE_TYPE_PIPE;
    }

private:
    int pollbyte() override {
        if (console_) return _kbhit() ? (_getch() & 0xFF) : nokey;
        if (!pipe_) return endofinput;
        DWORD available = 0;
        if (!PeekNamedPipe(in_, nullptr, 0, nullptr, &available, nullptr)) return endofinput;  // writer gone
        if (available == 0) return nokey;
        unsigned char c;
        DWORD got = 0;
        if (!ReadFile(in_, &c, 1, &got, nullptr) || got != 1) return endofinput;
        return c;
    }
    HANDLE in_;
    bool console_ = false;
    bool pipe_ = false;
};

// ---------------------------------------------------------------- clock

class Win32Clock : public Clock {
public:
    Win32Clock() {
        LARGE_INTEGER f;
        if (QueryPerformanceFrequency(&f) && f.QuadPart > 0) frequency_ = static_cast<double>(f.QuadPart);
    }
    double counter() override {
        if (frequency_ > 0) {
            LARGE_INTEGER c;
            QueryPerformanceCounter(&c);
            return static_cast<double>(c.QuadPart) / frequency_;
        }
        return static_cast<double>(GetTickCount64()) / 1000.0;
    }
    std::string timetext() override {
        SYSTEMTIME t;
        GetSystemTime(&t);  // UTC
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", t.wHour, t.wMinute, t.wSecond);
        return buffer;
    }
    std::string datetext() override { return datetime().date; }
    DateTime datetime() override {
        SYSTEMTIME t;
        GetSystemTime(&t);  // UTC
        char date[16], time[16];
        std::snprintf(date, sizeof date, "%02u-%02u-%04u", t.wMonth, t.wDay, t.wYear);
        std::snprintf(time, sizeof time, "%02u:%02u:%02u", t.wHour, t.wMinute, t.wSecond);
        return {date, time};
    }
    void sleepms(int milliseconds) override {
        if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
    }

private:
    double frequency_ = 0;
};

struct SystemPlatform : Platform {
    Win32Console consoleimpl;
    Win32Keyboard keyboardimpl;
    Win32Clock clockimpl;
    SystemCommandRunner commandsimpl;
    SystemPlatform() : Platform(consoleimpl, keyboardimpl, clockimpl, commandsimpl) {}
};

}  // namespace

std::unique_ptr<Platform> makesystemplatform() { return std::make_unique<SystemPlatform>(); }

}  // namespace corvane
