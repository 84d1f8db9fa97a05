// Writes the seed corpus: the call sequences of seeds.txt, encoded as
// harness.h describes. The fuzzer starts from these and mutates them;
// `pelmora_replay --trace FILE` prints a seed back as calls.
//
//   make_corpus [DIRECTORY [SEEDS]]
//
// In SEEDS (default: seeds.txt next to this file), `== name` starts a seed,
// `#` a comment, and every other line is one call: an entry point or harness
// operation, then its arguments in argument order. A value is a number (nan
// and inf too); a per-pipe array one value for every pipe or a comma list;
// the host routines of loadfluid one byte (200 and up: bits 1, 2, 4, 8 drop
// a routine or the context). An exchange set call takes `copy` (from the
// copy the last get call saved, with its counts) or the counts
// `nvars,nfaces,ncells,npipes`, then every argument filled with 0, but for
// changes `argument[j]=v` (j from 1). `null=k` passes pointer argument k as
// NULL. `results N` reads the ten profiles of pipes 1..N, the nine values at
// both ends and the error code.
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

using namespace pelmorafuzz;

namespace {

std::vector<std::uint8_t> out;

void byte(int b) { out.push_back(static_cast<std::uint8_t>(b)); }
void raw(std::uint64_t bits, int n)
{
    byte(rawtag);
    for (int i = 0; i < n; ++i)
        byte(static_cast<int>((bits >> (8 * i)) & 0xff));
}
double value(const std::string& token) { return std::strtod(token.c_str(), nullptr); }

void integer(std::int32_t v)
{
    if (v >= 0 && v <= 254 - integertablesize)
        return byte(v + integertablesize);
    raw(static_cast<std::uint32_t>(v), 4);
}

void real(double v)
{
    for (int tag = 0; tag < realtablesize; ++tag)
        if (std::bit_cast<std::uint64_t>(realtable[tag]) == std::bit_cast<std::uint64_t>(v))
            return byte(tag);
    raw(std::bit_cast<std::uint64_t>(v), 8);
}

// The registry arguments of an exchange set call: `copy` or counts, then
// per argument the fill value 0 and the changes asked for.
void exchange(pelmora::Call call, const std::vector<std::string>& tokens)
{
    const bool copy = tokens.front() == "copy";
    byte(copy);
    byte(!copy);
    std::istringstream counts(copy ? "" : tokens.front());
    for (std::string count; std::getline(counts, count, ',');)
        integer(std::int32_t(value(count)));
    for (std::size_t slot = 0; slot < pelmora::argumentcount(call); ++slot) {
        const pelmora::ArgumentInfo a = pelmora::argumentat(call, slot);
        auto pick = [&](double v) { a.item->integer ? integer(std::int32_t(v)) : real(v); };
        const std::string name =
            std::string(a.item->argument) + (a.end ? std::to_string(a.end) : "") + "[";
        std::vector<std::string> changes;
        for (const std::string& t : tokens)
            if (t.starts_with(name))
                changes.push_back(t.substr(name.size()));
        pick(0.0);
        byte(int(changes.size()));
        for (const std::string& change : changes) {
            byte(std::atoi(change.c_str()) - 1);
            pick(value(change.substr(change.find('=') + 1)));
        }
    }
}

void encode(const std::string& name, const std::vector<std::string>& tokens)
{
    for (int e = 0; name == "results" && e < entrycount; ++e) { // profiles, end values, code
        const std::string_view k = entries[e].kinds;
        const int last = k.ends_with('V') ? std::stoi(tokens[0]) : k.ends_with("eO") ? 2 : 0;
        for (int which = 1; which <= last; ++which)
            encode(std::string(entries[e].name), {std::to_string(which)});
    }
    if (name == "results")
        return encode("geterrorcode", {});
    int e = 0, group = -1;
    for (; e < entrycount && entries[e].name != name; ++e)
        group += !entries[e].joins();
    if (e == entrycount) { // a harness operation
        for (int op = 0; op < 4; ++op)
            if (harnessops[op].name == name)
                byte(groupcount + op);
        for (const std::string& t : tokens)
            byte(std::stoi(t));
        return;
    }
    byte(group + !entries[e].joins());
    int first = e;
    while (entries[first].joins())
        --first;
    if (first != e || (e + 1 < entrycount && entries[e + 1].joins()))
        byte(e - first);
    std::size_t next = 0;
    for (const char kind : entries[e].kinds) {
        const std::string t = next < tokens.size() ? tokens[next] : "";
        next += among(kind, "ierfIRSNcA");
        if (among(kind, "ieIN"))
            integer(std::int32_t(value(t)));
        if (among(kind, "rfRS"))
            real(value(t));
        if (kind == 'c')
            byte(std::stoi(t));
        if (kind == 'A') { // one value, or a comma list
            byte(t.find(',') != std::string::npos);
            std::istringstream list(t);
            for (std::string v; std::getline(list, v, ',');)
                real(value(v));
        }
        if (kind == 'X')
            exchange(entries[e].call, tokens);
    }
    const std::string null = tokens.empty() ? "" : tokens.back();
    if (entries[e].kinds.find_first_of("INARSoOVnFCxX") != std::string_view::npos)
        null.starts_with("null=") ? (byte(firstnulltag), byte(std::stoi(null.substr(5)))) : byte(0);
}

} // namespace

int main(int argc, char** argv)
{
    std::ifstream seeds(argc > 2 ? argv[2] : PELMORA_FUZZ_SEEDS);
    std::string line, seed;
    auto write = [&] {
        const std::string path = std::string(argc > 1 ? argv[1] : ".") + "/" + seed;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
        std::printf("%s: %zu bytes\n", path.c_str(), out.size());
        out.clear();
    };
    while (std::getline(seeds, line)) {
        std::istringstream words(line);
        std::vector<std::string> tokens;
        for (std::string t; words >> t;)
            tokens.push_back(t);
        if (tokens.empty() || tokens[0][0] == '#')
            continue;
        if (tokens[0] == "==" && !seed.empty())
            write();
        if (tokens[0] == "==")
            seed = tokens.at(1);
        else
            encode(tokens[0], {tokens.begin() + 1, tokens.end()});
    }
    if (!seed.empty())
        write();
    return seed.empty() ? 1 : 0;
}
