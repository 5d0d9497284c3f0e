// Fuzz target: the recording header check (chunk walk, sample start and the
// comparison with the settings).
#include <cstdint>
#include <cstring>

#include "acquisition/wavfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::ReadAt readat = [&](std::int64_t offset, void* buffer, std::size_t count) -> std::int64_t {
        if (offset < 0 || static_cast<std::uint64_t>(offset) >= size) return 0;
        std::size_t n = size - static_cast<std::size_t>(offset);
        if (n > count) n = count;
        std::memcpy(buffer, data + offset, n);
        return static_cast<std::int64_t>(n);
    };
    for (bool whole : {false, true}) {
        corvane::WavLayout layout = corvane::scanwav(readat, static_cast<std::int64_t>(size), whole);
        std::int64_t start = corvane::samplestart(layout);
        if (start < 0) __builtin_trap();
        corvane::headermismatch(layout, 22050, 2, 2);
        corvane::headermismatch(layout, 11999, 1, 1);
        corvane::kiwisdrlayout(layout);
    }
    return 0;
}
