// corvane-feed: standard input into live files for the monitor. See --help.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "feed.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    using namespace corvane;
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        feed::FeedOptions options = feed::parsefeedoptions(args);
        if (options.help) {
            std::cout << feed::feedhelp();
            return 0;
        }
        if (options.version) {
            std::cout << "corvane-feed " << CORVANE_VERSION << "\n";
            return 0;
        }
        binarystdin();
        auto platform = makesystemplatform();
        feed::FeedTotals totals = feed::runfeed(stdin, options, platform->clock);
        if (!options.quiet)
            std::cerr << "corvane-feed: " << totals.bytes << " bytes in " << totals.files << " live files\n";
        return 0;
    } catch (const RuntimeError& e) {
        std::cerr << "corvane-feed: " << e.what() << "\n";
        if (e.number() == illegalfunctioncall) std::cerr << "corvane-feed: see corvane-feed --help\n";
        return e.number();
    } catch (const std::bad_alloc&) {
        std::cerr << "corvane-feed: out of memory\n";
        return outofmemory;
    }
}
