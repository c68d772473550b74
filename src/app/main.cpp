#include <cstdio>
#include <string>
#include <vector>

#include "app/CFrontEnd.h"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    std::string out;
    const int status = CFrontEnd::Run(args, out);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return status;
}
