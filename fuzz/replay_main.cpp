// Runs a fuzz target's LLVMFuzzerTestOneInput over files without libFuzzer,
// so that CTest replays the seed corpus and every input that once failed.
// Arguments are files or folders (their files, dot files skipped); a missing
// folder is skipped, as a target may have no regression yet.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    std::error_code ec;
    for (int i = 1; i < argc; ++i) {
        if (fs::is_regular_file(argv[i], ec)) files.emplace_back(argv[i]);
        for (const auto& entry : fs::directory_iterator(fs::is_directory(argv[i], ec) ? argv[i] : "", ec))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') files.push_back(entry.path());
    }
    for (const fs::path& path : files) {
        // An exact-size heap copy: a read one byte past the input is an ASan error.
        const auto size = static_cast<std::size_t>(fs::file_size(path, ec));
        std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[ec ? 1 : size + !size]);
        std::ifstream in(path, std::ios::binary);
        if (ec || !in.read(reinterpret_cast<char*>(copy.get()), static_cast<std::streamsize>(size)))
            return std::fprintf(stderr, "cannot read %s\n", path.c_str()), 1;
        LLVMFuzzerTestOneInput(copy.get(), size);
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
