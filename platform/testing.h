// Fakes of the platform interfaces for tests: a console that records a
// transcript, a keyboard fed from a string, a clock whose time the test sets
// and a command runner that records the command lines.
#pragma once

#include <cstdio>
#include <deque>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/platform.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace corvane::testing {

// Special files for tests of names that lead to no regular file: a named
// pipe, and a copy of the null device (root only, and not where a container
// forbids it). False where the system has none (Windows).
inline bool makepipe(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    return ::mkfifo(path.c_str(), 0644) == 0;
#endif
}
inline bool makenulldevice(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
#endif
}

// A folder of this test process's own under the system's temporary folder,
// created at first use and removed with its contents at exit: tests run in
// parallel, and two builds may run their tests at once, so fixed file names
// in a shared folder would collide. Returns the path with a trailing '/'.
inline const std::string& testfolder() {
    struct Folder {
        std::filesystem::path path;
        Folder() {
            std::random_device random;
            const std::filesystem::path base = std::filesystem::temp_directory_path();
            for (;;) {  // create_directory is false when the name exists: draw again
                path = base / ("corvane-test-" + std::to_string(random()) + std::to_string(random()));
                if (std::filesystem::create_directory(path)) break;
            }
        }
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Folder folder;
    static const std::string name = (folder.path / "").string();
    return name;
}

// Records everything written. Cursor moves appear in the transcript as
// "{col1}" (column 1 of this row) and "{up}" (column 1 of the row above);
// line ends as "\n".
class FakeConsole : public Console {
public:
    void write(std::string_view text) override { transcript.append(text); }
    void writeline(std::string_view text) override {
        transcript.append(text);
        transcript += '\n';
    }
    void column1() override { transcript += "{col1}"; }
    void rowup() override { transcript += "{up}"; }
    std::string transcript;
};

class FakeKeyboard : public Keyboard {
public:
    bool keypending() override { return !keys.empty(); }
    int takekey() override {
        if (keys.empty()) return -1;
        int key = static_cast<unsigned char>(keys.front());
        keys.pop_front();
        return key;
    }
    void press(const std::string& text) { keys.insert(keys.end(), text.begin(), text.end()); }
    std::deque<char> keys;
};

// Time stands still unless the test moves it; every sleep advances it by the
// time slept. The wall clock text follows the counter: local time of day is
// counter - offset, wrapped into the day.
class FakeClock : public Clock {
public:
    double counter() override { return now; }
    std::string timetext() override {
        long long t = static_cast<long long>(now - offset);
        t %= 86400;
        if (t < 0) t += 86400;
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%02lld:%02lld:%02lld", t / 3600, t / 60 % 60, t % 60);
        return buffer;
    }
    std::string datetext() override { return date; }
    DateTime datetime() override { return {datetext(), timetext()}; }
    void sleepms(int milliseconds) override {
        now += milliseconds / 1000.0;
        sleeps.push_back(milliseconds);
    }
    void sleepseconds(int seconds, Keyboard& keyboard) override {
        sleeps.push_back(seconds * 1000);
        if (!keyboard.keypending()) now += seconds;
    }
    double now = 1000.0;     // counter, s
    double offset = 1000.0;  // counter minus UTC time of day, s
    std::string date = "01-15-2020";
    std::vector<int> sleeps;  // every sleep, in ms
};

class FakeCommandRunner : public CommandRunner {
public:
    void run(const std::string& commandline) override { lines.push_back(commandline); }
    std::vector<std::string> lines;
};

// A platform made of the four fakes.
struct FakePlatform : Platform {
    FakeConsole fakeconsole;
    FakeKeyboard fakekeyboard;
    FakeClock fakeclock;
    FakeCommandRunner fakecommands;
    FakePlatform() : Platform(fakeconsole, fakekeyboard, fakeclock, fakecommands) {}
};

}  // namespace corvane::testing
