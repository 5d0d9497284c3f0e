// Fuzz target: the settings parser and the settings check.
#include <cstdint>
#include <string>

#include "core/errors.h"
#include "app/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    corvane::Settings s = corvane::parsesettings(text, "01-15-2020", "12:00:00");
    try {
        corvane::validatesettings(s);
    } catch (const corvane::RuntimeError& e) {
        if (e.number() != 1) __builtin_trap();
    }
    return 0;
}
