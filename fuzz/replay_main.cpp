// Runs a fuzz target's LLVMFuzzerTestOneInput over files without libFuzzer,
// so that CTest replays the seed corpus and every input that once failed.
// Arguments are files or folders (their files, dot files skipped); a missing
// folder is skipped, as a target may have no regression yet.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    std::error_code ec;
    for (int i = 1; i < argc; ++i) {
        const std::size_t from = files.size();
        if (fs::is_regular_file(argv[i], ec)) files.emplace_back(argv[i]);
        for (const auto& entry : fs::directory_iterator(fs::is_directory(argv[i], ec) ? argv[i] : "", ec))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') files.push_back(entry.path());
        std::sort(files.begin() + static_cast<std::ptrdiff_t>(from), files.end());
    }
    for (const fs::path& path : files) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return std::fprintf(stderr, "cannot read %s\n", path.c_str()), 1;
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // An exact-size heap copy: a read one byte past the input is an ASan error.
        std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[bytes.size() + bytes.empty()]);
        if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
        LLVMFuzzerTestOneInput(copy.get(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
