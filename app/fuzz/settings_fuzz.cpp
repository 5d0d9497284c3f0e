// Fuzz target: the settings parser with its warnings, and the settings check.
#include <cstdint>
#include <string>
#include <vector>

#include "core/errors.h"
#include "app/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> warnings;
    corvane::Settings s = corvane::parsesettings(text, "01-15-2020", "12:00:00", "fuzz.ini", &warnings);
    try {
        corvane::validatesettings(s);
    } catch (const corvane::RuntimeError& e) {
        if (e.number() != 1) __builtin_trap();
    }
    return 0;
}
