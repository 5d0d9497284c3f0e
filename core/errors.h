// The two ways of leaving the run from deep inside the cycle.
//
// RuntimeError ends the run with the runtime error report on standard error
// and the error number as exit status:
//   1 illegal function call, 2 file not found, 3 file I/O error, 4 out of memory.
// QuitRequested is the operator's "q" key: exit status 0, no report.
#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

enum ErrorNumber : int {
    illegalfunctioncall = 1,
    filenotfound = 2,
    fileioerror = 3,
    outofmemory = 4,
};

class RuntimeError : public std::runtime_error {
public:
    // detail says what failed, naming the operation and the file.
    RuntimeError(int number, const std::string& detail)
        : std::runtime_error(detail), number_(number) {}
    int number() const { return number_; }

private:
    int number_;
};

struct QuitRequested {};

// Text of an error number, as the report shows it.
const char* errortext(int number);

// The report as written to standard error: a line end, the detail line when
// there is one, then "Aborting due to runtime error N (text)" and two line ends.
std::string runtimeerrorreport(int number, const std::string& detail);

}  // namespace corvane
