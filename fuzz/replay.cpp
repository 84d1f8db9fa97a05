// Runs call-sequence files without libFuzzer: under valgrind, in a plain
// build, and to print a reproducer.
//
//   pelmora_replay [--trace] [--whole-spans] FILE...
//
// With --trace every call is printed with its arguments and the error code
// it left. With --whole-spans the drivers get the spans the input asks for,
// unshortened (see keepspanswhole). Exits 0 when every file ran to its end.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "callsequence.h"

int main(int argc, char** argv)
{
    bool trace = false;
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--trace") == 0) {
            trace = true;
            continue;
        }
        if (std::strcmp(argv[i], "--whole-spans") == 0) {
            pelmorafuzz::keepspanswhole(true);
            continue;
        }
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 2;
        }
        const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                             std::istreambuf_iterator<char>());
        if (trace)
            std::fprintf(stderr, "== %s (%zu bytes)\n", argv[i], data.size());
        pelmorafuzz::runcallsequence(data.data(), data.size(), trace);
        ++files;
    }
    std::fprintf(stderr, "replayed %d file(s)\n", files);
    return 0;
}
