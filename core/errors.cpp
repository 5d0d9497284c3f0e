#include "core/errors.h"

namespace corvane {

const char* errortext(int number) {
    switch (number) {
        case illegalfunctioncall: return "illegal function call";
        case filenotfound: return "file not found";
        case fileioerror: return "file I/O error";
        case outofmemory: return "out of memory";
        default: return "unprintable error";
    }
}

std::string runtimeerrorreport(int number, const std::string& detail) {
    std::string report = "\n";
    if (!detail.empty()) report += detail + "\n";
    report += "Aborting due to runtime error " + std::to_string(number) + " (" + errortext(number) + ")\n\n";
    return report;
}

}  // namespace corvane
