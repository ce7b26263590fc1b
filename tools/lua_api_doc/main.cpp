// velkor-lua-api: writes the scripting API reference (Markdown) from the registration tables.
//   velkor-lua-api                 the reference on standard output
//   velkor-lua-api --out FILE      written to FILE
//   velkor-lua-api --check FILE    exit 1 when FILE is not what the tables give today
// Any registered member without a description, or a description of nothing registered, fails
// with its name.
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/lua_api_doc/lua_api_descriptions.h"
#include "tools/lua_api_doc/lua_api_reader.h"

using namespace VadiZov::apidoc;

namespace {

constexpr const char* kTable = "tools/lua_api_doc/lua_api_descriptions.cpp";

int usage()
{
    std::fprintf(stderr, "usage: velkor-lua-api [--out FILE | --check FILE]\n");
    return 2;
}

bool readWhole(const char* path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const char* out = nullptr;
    const char* check = nullptr;
    if (argc == 3 && std::strcmp(argv[1], "--out") == 0)
        out = argv[2];
    else if (argc == 3 && std::strcmp(argv[1], "--check") == 0)
        check = argv[2];
    else if (argc != 1)
        return usage();

    Reference ref;
    try {
        ref = writeReference(readRegisteredApi(), apiDescriptions());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velkor-lua-api: %s\n", e.what());
        return 1;
    }
    if (!ref.problems.empty()) {
        for (const std::string& p : ref.problems)
            std::fprintf(stderr, "velkor-lua-api: %s (the table is %s)\n", p.c_str(), kTable);
        return 1;
    }
    if (check) {
        std::string committed;
        if (!readWhole(check, committed)) {
            std::fprintf(stderr, "velkor-lua-api: cannot read %s\n", check);
            return 1;
        }
        if (committed != ref.markdown) {
            std::fprintf(stderr,
                         "velkor-lua-api: %s is not what the registration tables give; run "
                         "velkor-lua-api --out %s\n",
                         check, check);
            return 1;
        }
        return 0;
    }
    if (out) {
        std::ofstream file(out, std::ios::binary | std::ios::trunc);
        file << ref.markdown;
        if (!file.flush()) {
            std::fprintf(stderr, "velkor-lua-api: cannot write %s\n", out);
            return 1;
        }
        return 0;
    }
    std::cout << ref.markdown;
    return std::cout.good() ? 0 : 1;
}
