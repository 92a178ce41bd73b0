// ndstool command line: the two forms the patch script runs.
//   ndstool [-v] -x ROM -9 F -7 F -y9 F -y7 F -d DIR -y DIR -t F -h F
//   ndstool [-v] -c ROM (same parts)
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "error.h"
#include "file_io.h"
#include "parts.h"
#include "rebuild.h"
#include "unpack.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const char kUsage[] =
    "usage: ndstool [-v] -x ROM -9 arm9.bin -7 arm7.bin -y9 y9.bin -y7 y7.bin -d DATA -y OVERLAYS -t banner.bin -h header.bin\n"
    "       ndstool [-v] -c ROM (the same parts)\n"
    "  -x  unpack ROM into its parts (plus header.bin.layout and header.bin.extra)\n"
    "  -c  build ROM from the parts, replacing it only when everything succeeded\n"
    "  -v  say what is done\n";

struct Arg {
    std::string text;  // UTF-8, for messages
    std::filesystem::path path;
};

void print(std::FILE* to, const std::string& line) {
    std::fputs(line.c_str(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

int run(const std::vector<Arg>& args) {
    bool verbose = false;
    std::string mode;
    nds::PartPath rom;
    std::map<std::string, nds::PartPath> parts;
    const std::vector<std::string> names = {"-9", "-7", "-y9", "-y7", "-d", "-y", "-t", "-h"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i].text;
        if (a == "-v") {
            verbose = true;
            continue;
        }
        bool is_mode = a == "-x" || a == "-c";
        bool is_part = std::find(names.begin(), names.end(), a) != names.end();
        if ((!is_mode && !is_part) || i + 1 >= args.size() || (is_mode && !mode.empty()) || parts.count(a)) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const Arg& value = args[++i];
        if (is_mode) {
            mode = a;
            rom = {value.path, value.text};
        } else {
            std::filesystem::path p = value.path;
#ifndef _WIN32
            // The script's paths use both separators, as cmd accepts them.
            std::string s = value.text;
            for (char& c : s)
                if (c == '\\') c = '/';
            p = s;
#endif
            parts[a] = {p, value.text};
        }
    }
    if (mode.empty() || parts.size() != names.size()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    nds::Parts p{parts["-9"], parts["-7"], parts["-y9"], parts["-y7"],
                 parts["-d"], parts["-y"], parts["-t"], parts["-h"]};
    nds::Log log;
    if (verbose) log = [](const std::string& line) { print(stdout, line); };
    try {
        if (mode == "-x") {
            nds::unpack(rom, p, log);
        } else {
            nds::RebuildResult r = nds::rebuild(rom, p, log);
            if (!r.used_layout && !r.layout_note.empty())
                print(stderr, "ndstool: note: " + p.header.label + ".layout not used (" + r.layout_note +
                                  "); built a compact image");
        }
    } catch (const nds::Error& e) {
        print(stderr, std::string("ndstool: ") + e.what() + "; image left unchanged");
        return 1;
    } catch (const std::exception& e) {
        print(stderr, std::string("ndstool: ") + e.what() + "; image left unchanged");
        return 1;
    }
    return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<Arg> args;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        auto u8 = p.u8string();
        args.push_back({std::string(u8.begin(), u8.end()), p});
    }
    return run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<Arg> args;
    for (int i = 1; i < argc; ++i) args.push_back({argv[i], std::filesystem::path(argv[i])});
    return run(args);
}
#endif
