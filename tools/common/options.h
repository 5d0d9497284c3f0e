// Command-line options of the companion programs: "--name value" or
// "--name=value". Mistakes throw RuntimeError 1 with a message naming the
// option, which the programs print before exiting with status 1.
#pragma once

#include <string>
#include <vector>

#include "core/errors.h"

namespace corvane {

[[noreturn]] inline void badoption(const std::string& what) { throw RuntimeError(illegalfunctioncall, what); }

class OptionReader {
public:
    explicit OptionReader(const std::vector<std::string>& args) : args_(args) {}

    // Moves to the next option; false at the end. name() is the option
    // without any "=value" part.
    bool next() {
        if (++index_ >= args_.size()) return false;
        name_ = args_[index_];
        inlinevalue_.clear();
        hasinline_ = false;
        const auto eq = name_.find('=');
        if (name_.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlinevalue_ = name_.substr(eq + 1);
            name_ = name_.substr(0, eq);
            hasinline_ = true;
        }
        return true;
    }
    const std::string& name() const { return name_; }
    const std::string& raw() const { return args_[index_]; }
    // The option's value: after "=", or the next argument.
    std::string value() {
        if (hasinline_) return inlinevalue_;
        if (index_ + 1 >= args_.size()) badoption("option " + name_ + " needs a value");
        return args_[++index_];
    }

private:
    const std::vector<std::string>& args_;
    std::size_t index_ = static_cast<std::size_t>(-1);
    std::string name_, inlinevalue_;
    bool hasinline_ = false;
};

// The options of the live hand-over that corvane-sim and corvane-feed share:
// --live FILE, --no-end-file, --quiet (-q). False for any other option.
inline bool liveoption(OptionReader& options, const std::string& name, std::string& live, bool& endfile,
                       bool& quiet) {
    if (name == "--live")
        live = options.value();
    else if (name == "--no-end-file")
        endfile = false;
    else if (name == "--quiet" || name == "-q")
        quiet = true;
    else
        return false;
    return true;
}

// What the standard options asked for.
struct StandardOptions {
    bool help = false;      // -h, --help: print the help text, exit 0
    bool version = false;   // -V, --version: print the version, exit 0
};

// Reads every option in order: "-h", "--help", "-V" and "--version" are taken
// here, every other option goes to onoption(reader, name), which reads its
// value from the reader and returns false for one it does not know (an error
// naming it).
template <typename OnOption>
StandardOptions readoptions(const std::vector<std::string>& args, OnOption onoption) {
    OptionReader options(args);
    StandardOptions asked;
    while (options.next()) {
        const std::string& name = options.name();
        if (name == "--help" || name == "-h")
            asked.help = true;
        else if (name == "--version" || name == "-V")
            asked.version = true;
        else if (!onoption(options, name))
            badoption("unknown option \"" + options.raw() + "\"");
    }
    return asked;
}

}  // namespace corvane
