// Fuzz target: the RIFF reader of corvane-wav, converting whatever it is
// given through real files in a scratch folder.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "corvane-wav-fuzz";
        std::filesystem::create_directories(d);
        return d;
    }();
    const std::string in = (dir / "in.wav").string(), out = (dir / "out.wav").string();
    {
        std::ofstream f(in, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        corvane::ConvertResult r = corvane::convertrecording(in, out);
        corvane::settingslines(r, out);
        if (std::filesystem::file_size(out) < 46) __builtin_trap();
    } catch (const corvane::ConvertError&) {
        // Refused input must leave no output behind.
        if (std::filesystem::exists(out)) __builtin_trap();
    }
    std::filesystem::remove(out);
    return 0;
}
