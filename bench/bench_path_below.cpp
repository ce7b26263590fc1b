// The cost of reaching a data file through the below-the-root rule, beside a plain open, for a
// script file of a few kilobytes three folders deep.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/path_below.h"

namespace {

struct DataFolder {
    DataFolder()
    {
        std::filesystem::create_directories(root + "/vehicles/box/lua");
        std::ofstream(root + "/" + file) << std::string(4096, 'x');
    }
    ~DataFolder() { std::filesystem::remove_all(root); }
    const std::string root = (std::filesystem::temp_directory_path() /
                              ("velkor-bench-below-" + std::to_string(getpid()))).string();
    const std::string file = "vehicles/box/lua/part.lua";
};

void plainOpenAndRead(benchmark::State& state)
{
    DataFolder data;
    const std::string path = data.root + "/" + data.file;
    char buffer[8192];
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        benchmark::DoNotOptimize(std::fread(buffer, 1, sizeof buffer, file));
        std::fclose(file);
    }
}
BENCHMARK(plainOpenAndRead);

void openAndReadBelowTheRoot(benchmark::State& state)
{
    DataFolder data;
    char buffer[8192];
    for (auto _ : state) {
        std::FILE* file = VadiZov::platform::openFileBelow(data.root, data.file, "rb");
        benchmark::DoNotOptimize(std::fread(buffer, 1, sizeof buffer, file));
        std::fclose(file);
    }
}
BENCHMARK(openAndReadBelowTheRoot);

void kindOfAFileBelowTheRoot(benchmark::State& state)
{
    DataFolder data;
    for (auto _ : state)
        benchmark::DoNotOptimize(VadiZov::platform::kindBelow(data.root, data.file));
}
BENCHMARK(kindOfAFileBelowTheRoot);

} // namespace
