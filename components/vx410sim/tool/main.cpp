// vx410.exe: the simulator's command-line tool.
#include "../vx410sim.h"

#include <cstdio>

int main(int argc, char** argv) {
    std::string error;
    const std::string folder = vx410sim::ResolveStateFolder(&error);
    if (folder.empty()) {
        std::fprintf(stderr, "vx410: %s\n", error.c_str());
        return 1;
    }
    vx410sim::CSimDevice dev(folder);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string out, err;
    const int rc = vx410sim::RunTool(dev, args, out, err);
    std::fputs(out.c_str(), stdout);
    std::fputs(err.c_str(), stderr);
    return rc;
}
