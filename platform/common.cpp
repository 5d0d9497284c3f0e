// The parts of the platform layer that are the same on every OS.
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace corvane {

void Clock::sleepseconds(int seconds, Keyboard& keyboard) {
    const double end = counter() + seconds;
    while (counter() < end) {
        if (keyboard.keypending()) return;
        sleepms(50);
    }
}

File::~File() { close(); }

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

const char* filekindtext(FileKind kind) {
    switch (kind) {
        case FileKind::none: return "missing";
        case FileKind::nofolder: return "in a folder that does not exist";
        case FileKind::regular: return "a regular file";
        case FileKind::directory: return "a directory";
        case FileKind::device: return "a device";
        case FileKind::pipe: return "a named pipe";
        case FileKind::other: return "a special file";
        case FileKind::failed: break;
    }
    return "of a kind that cannot be told";
}

bool readwholefile(const std::string& path, std::string& contents) {
    File f;
    if (!f.open(path, File::Mode::read)) return false;
    contents.clear();
    char buffer[65536];
    for (;;) {
        std::int64_t n = f.read(buffer, sizeof buffer);
        if (n < 0) return false;
        if (n == 0) break;
        contents.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

bool PolledKeyboard::keypending() {
    if (pending_ >= 0) return true;
    if (ended_) return false;
    const int c = pollbyte();
    if (c == endofinput) ended_ = true;
    if (c < 0) return false;
    pending_ = c;
    return true;
}

int PolledKeyboard::takekey() {
    if (!keypending()) return -1;
    const int key = pending_;
    pending_ = nokey;
    return key;
}

void SystemCommandRunner::run(const std::string& commandline) {
    std::fflush(stdout);
    int rc = std::system(commandline.c_str());
    (void)rc;  // the exit status is ignored
}

}  // namespace corvane
