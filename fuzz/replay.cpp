// Runs call-sequence files without libFuzzer: under valgrind, in a plain
// build, and to print a reproducer.
//
//   pelmora_replay [--trace] [--whole-spans] FILE...
//
// With --trace every call is printed with its arguments and the error code
// it left. With --whole-spans the drivers get the spans the input asks for,
// unshortened (see keepspanswhole). Exits 0 when every file ran to its end.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "harness.h"

int main(int argc, char** argv)
{
    bool trace = false;
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        trace = trace || arg == "--trace";
        if (arg == "--whole-spans")
            pelmorafuzz::keepspanswhole(true);
        std::ifstream in(arg, std::ios::binary);
        if (arg.starts_with("--"))
            continue;
        if (!in)
            return std::fprintf(stderr, "cannot read %s\n", argv[i]), 2;
        const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
        if (trace)
            std::fprintf(stderr, "== %s (%zu bytes)\n", argv[i], data.size());
        pelmorafuzz::runcallsequence(data.data(), data.size(), trace);
        ++files;
    }
    std::fprintf(stderr, "replayed %d file(s)\n", files);
}
