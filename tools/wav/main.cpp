// corvane-wav: converts a PCM WAV file into a recording the monitor reads.
#include <iostream>
#include <string>

#include "convert.h"

namespace {

const char* usage =
    "usage: corvane-wav INPUT.wav OUTPUT.wav\n"
    "       corvane-wav -h | --help | -V | --version\n"
    "\n"
    "Converts a PCM RIFF/WAVE recording of the receiver's complex baseband\n"
    "(8- or 16-bit samples, one or two channels; 44-byte headers,\n"
    "WAVE_FORMAT_EXTENSIBLE, extra chunks and the KiwiSDR layout with many\n"
    "data chunks are all read) into the monitor's recording layout: a 46-byte\n"
    "header, then every sample frame of every data chunk in order. Then it\n"
    "prints the settings lines that make the monitor read the result; for a\n"
    "KiwiSDR recording also its start as date and time (UTC), from the GPS\n"
    "time stamps when the receiver had a GPS fix, else from the file name.\n"
    "\n"
    "The output is written under a temporary name beside OUTPUT and renamed\n"
    "when complete. Exit status: 0 on success, 1 when the input cannot be\n"
    "converted (not RIFF/WAVE, compressed samples, truncated chunks ...).\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << usage;
            return 0;
        }
        if (a == "--version" || a == "-V") {
            std::cout << "corvane-wav " << CORVANE_VERSION << "\n";
            return 0;
        }
        if (a.size() > 1 && a[0] == '-') {
            std::cerr << "corvane-wav: unknown option \"" << a << "\"\ncorvane-wav: see corvane-wav --help\n";
            return 1;
        }
    }
    if (argc != 3) {
        std::cerr << "corvane-wav: give INPUT.wav and OUTPUT.wav\ncorvane-wav: see corvane-wav --help\n";
        return 1;
    }
    const std::string input = argv[1], output = argv[2];
    try {
        const corvane::ConvertResult result = corvane::convertrecording(input, output);
        std::cout << "corvane-wav: wrote \"" << output << "\": " << result.frames << " frames, "
                  << result.channels << " x " << result.bits << " bits at " << result.rate << " Hz from "
                  << result.datachunks << " data chunk" << (result.datachunks == 1 ? "" : "s") << "\n";
        for (const std::string& note : result.notes) std::cout << "corvane-wav: note: " << note << "\n";
        std::cout << "\nSettings for the monitor:\n" << corvane::settingslines(result, output);
        return 0;
    } catch (const corvane::ConvertError& e) {
        std::cerr << "corvane-wav: " << e.what() << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << "corvane-wav: out of memory\n";
        return 1;
    }
}
