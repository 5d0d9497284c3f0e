// The thin layer over the operating system: console, keyboard, clocks,
// sleeping, external commands and files. Only platform/ includes OS headers;
// everything else reaches the OS through these interfaces, so that tests can
// substitute fakes (platform/testing.h) and each OS has one implementation
// file (posix.cpp, win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

// Text console. Cursor moves only ever go to column 1 of the current row or
// of the row above. When the output is not a terminal the moves do nothing,
// so a log file gets one plain line per status update.
class Console {
public:
    virtual ~Console() = default;
    virtual void write(std::string_view text) = 0;      // no line end
    virtual void writeline(std::string_view text) = 0;  // text, then a line end
    virtual void column1() = 0;                         // column 1 of this row
    virtual void rowup() = 0;                           // column 1 of the row above
};

// Keyboard: one pending key press, taken without waiting.
class Keyboard {
public:
    virtual ~Keyboard() = default;
    virtual bool keypending() = 0;
    // Takes the pending key; returns -1 when none is pending.
    virtual int takekey() = 0;
};

// A keyboard that reads one byte at a time: keeps the byte read ahead by
// keypending() until takekey(), and after the end of input never polls again.
// Each OS says only how to poll one byte.
class PolledKeyboard : public Keyboard {
public:
    bool keypending() final;
    int takekey() final;

protected:
    enum : int { nokey = -1, endofinput = -2 };
    // One byte 0..255 without waiting, nokey, or endofinput.
    virtual int pollbyte() = 0;

private:
    int pending_ = nokey;
    bool ended_ = false;
};

// Clocks and sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic high-resolution counter, seconds.
    virtual double counter() = 0;
    // The wall clock as UTC, whatever the system's time zone: time "hh:mm:ss"
    // and date "mm-dd-yyyy".
    virtual std::string timetext() = 0;
    virtual std::string datetext() = 0;
    // Date and time of one reading of the wall clock (two separate calls can
    // straddle midnight and pair one day's date with the next day's time).
    struct DateTime {
        std::string date;  // "mm-dd-yyyy"
        std::string time;  // "hh:mm:ss"
    };
    virtual DateTime datetime() = 0;
    // Sleeps the given milliseconds (used with 50 and 200).
    virtual void sleepms(int milliseconds) = 0;
    // Sleeps whole seconds; returns early as soon as a key is pending (the key
    // is left pending for the caller). Looks at the keyboard every 50 ms.
    virtual void sleepseconds(int seconds, Keyboard& keyboard);
};

// Runs a command line through the system's command interpreter and waits for
// it; the exit status is ignored.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    virtual void run(const std::string& commandline) = 0;
};

// The command interpreter of the system (std::system: sh on POSIX, cmd.exe
// on Windows).
class SystemCommandRunner : public CommandRunner {
public:
    void run(const std::string& commandline) override;
};

// The platform services a run uses, passed by reference to the operations.
struct Platform {
    Platform(Console& c, Keyboard& k, Clock& t, CommandRunner& r)
        : console(c), keyboard(k), clock(t), commands(r) {}
    virtual ~Platform() = default;
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;
    Console& console;
    Keyboard& keyboard;
    Clock& clock;
    CommandRunner& commands;
};

// A move-only handle of an open file. Every operation reports success; the
// caller decides whether a failure ends the run. lasterror() describes the
// most recent failure in the OS's words.
class File {
public:
    enum class Mode {
        read,          // binary reading
        create,        // create or truncate, read and write
        update,        // read and write, never truncates, fails if missing
        readonly,      // reading only (writes fail)
        append,        // reading, and writing only at the end; created if missing
    };

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool open(const std::string& path, Mode mode);
    bool isopen() const { return handle_ != nullptr; }
    // Reads up to size bytes at the current position; returns the count read,
    // or -1 on failure.
    std::int64_t read(void* buffer, std::size_t size);
    // Reads up to size bytes at a byte offset from the start without moving
    // the current position; returns the count read (less at the end of the
    // file), or -1 on failure.
    std::int64_t readat(std::int64_t offset, void* buffer, std::size_t size);
    // Length in bytes, or -1 on failure.
    std::int64_t length();
    // Cuts the file to length bytes (0 .. its length).
    bool truncate(std::int64_t length);
    // Writes at the current position / at a byte offset from the start.
    bool write(const void* data, std::size_t size);
    bool writeat(std::int64_t offset, const void* data, std::size_t size);
    bool close();

    // What deleteifsame did.
    enum class Removal {
        deleted,   // the file open in this handle was deleted by its name
        gone,      // no file has the name any more
        replaced,  // another file has the name now; it was left alone
        failed,    // the delete was refused (lastoserror())
    };
    // Deletes the file named path only if it is the file open in this handle
    // (same device and inode on POSIX, same volume and file ID on Windows,
    // where the delete goes through the handle that was compared), so that a
    // file that took the name after this one was read is never deleted.
    Removal deleteifsame(const std::string& path);

    // Whether path still names the file open in this handle (same device
    // and inode on POSIX, same volume and file ID on Windows).
    enum class Naming {
        same,      // path leads to this file
        other,     // path leads to another file
        none,      // nothing has the name (or this file is being deleted)
        failed,    // the comparison failed (lastoserror())
    };
    Naming namedby(const std::string& path);

private:
    struct Handle;
    Handle* handle_ = nullptr;
};

// What a name leads to, symbolic links followed.
enum class FileKind {
    none,       // nothing has the name, in a folder that exists
    nofolder,   // the folder of the name does not exist
    regular,
    directory,
    device,     // a character or block device
    pipe,       // a named pipe
    other,      // a socket or anything else
    failed,     // it could not be told (lastoserror(), e.g. no search permission)
};
FileKind filekind(const std::string& path);
// "a directory", "a device", ...: the kind in words for messages.
const char* filekindtext(FileKind kind);

// Whether anything has the name (a dangling symbolic link too), told by the
// file system's entry and never by opening it.
bool fileexists(const std::string& path);
bool deletefile(const std::string& path);
// Renames a file within its file system, replacing a file of the new name.
bool renamefile(const std::string& from, const std::string& to);
// Renames a file only while nothing has the new name (atomic where the file
// system allows it: renameat2 with RENAME_NOREPLACE, else link and unlink;
// on Windows a move that never replaces).
enum class RenameResult { done, exists, failed };
RenameResult renamenoreplace(const std::string& from, const std::string& to);
// The file a rename should replace to update path: the final target of a
// symbolic link at path, else path itself (also when the link is dangling).
std::string renametarget(const std::string& path);
// Gives the file `to` the permission bits and the owner of the file `from`,
// so that a file renamed over `from` keeps them. True when there is no
// `from` yet; false when its mode or its owner (where it differs and changing
// it is not permitted) cannot be given.
bool copyownerandmode(const std::string& from, const std::string& to);
// Whole file into text; false when it cannot be opened or read.
bool readwholefile(const std::string& path, std::string& contents);
// The OS's description of the latest failure of a file operation.
std::string lastoserror();
// Standard input delivers bytes unchanged (no line-end translation), for
// programs that read raw samples from a pipe.
void binarystdin();

// The platform of this process: the real console, keyboard, clock and command
// interpreter. The keyboard switches a terminal to non-canonical, no-echo
// mode for as long as the object lives and on every exit path restores it.
std::unique_ptr<Platform> makesystemplatform();

}  // namespace corvane
