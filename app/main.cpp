// corvane: the Loran-C monitor.
#include <iostream>

#include "app/run.h"

int main(int argc, char** argv) {
    auto platform = corvane::makesystemplatform();
    return corvane::corvanemain(argc, argv, *platform, std::cerr);
}
