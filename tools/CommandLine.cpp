#include "CommandLine.h"

#include <KivComtradeLib/LoadResult.h>
#include <KivComtradeLib/Version.h>
#include <KivComtradeLib/ToUtf8.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace KivTools {

namespace {

bool isRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Folder of the running program, from /proc (Linux); empty when unknown.
std::string programFolder()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

KivComtradeLib::LoadOptions CommonOptions::loadOptions() const
{
    KivComtradeLib::LoadOptions options;
    options.encoding = encoding;
    options.side = KivComtradeLib::valueSideNamed(side);
    return options;
}

const char* sideName(KivComtradeLib::ValueSide side)
{
    switch (side) {
    case KivComtradeLib::ValueSide::Primary:
        return "primary";
    case KivComtradeLib::ValueSide::Recorded:
        return "recorded";
    case KivComtradeLib::ValueSide::Secondary:
        break;
    }
    return "secondary";
}

void addCommonOptions(CLI::App& app, CommonOptions& options)
{
    app.add_option("PATH", options.path,
                   "the .cfg, .dat or .cff file of a COMTRADE recording (default: the bundled sample)");
    app.add_option("--encoding", options.encoding,
                   "encoding of the configuration's texts: UTF-8, CP866, CP1251, CP1252, Latin-1, "
                   "GB18030 (default: detected)");
    app.add_option("--side", options.side,
                   "side of the instrument transformers the analog values are on: secondary (default), "
                   "primary, or recorded (raw * a + b, no ratio)")
        ->check(CLI::IsMember({"primary", "secondary", "recorded"}));
    app.set_version_flag("--version", app.get_name() + " " KIVCOMTRADE_VERSION_STRING " (KivComtradeLib)");
}

int parseCommandLine(CLI::App& app, int argc, char** argv)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForVersion& version) {
        std::cout << version.what() << '\n';
        return 0;
    } catch (const CLI::ParseError& error) {
        std::cerr << app.get_name() << ": " << error.what() << '\n' << app.help();
        return kExitUsage;
    }
    return -1;
}

int resolvePath(const std::string& tool, std::string& path)
{
    if (!path.empty())
        return 0;
    path = bundledRecordingPath();
    if (!path.empty())
        return 0;
    std::cerr << tool << ": no PATH given and the bundled recording " << kBundledRecording
              << " was not found\n";
    return kExitNoInput;
}

int reportLoad(const std::string& tool, const KivComtradeLib::LoadReport& report, int code,
               const std::string& path)
{
    const KivComtradeLib::LoadResult result = KivComtradeLib::toLoadResult(code);
    if (result != KivComtradeLib::LoadResult::Success) {
        const std::string why =
            report.message.empty() ? path + ": " + KivComtradeLib::loadResultText(result) : report.message;
        std::cerr << tool << ": " << toUtf8::repairUtf8(why) << '\n';
        return code;
    }
    for (const std::string& warning : report.warnings)
        std::cerr << tool << ": warning: " << toUtf8::repairUtf8(warning) << '\n';
    return 0;
}

std::string bundledRecordingPath()
{
    std::vector<std::string> folders;
    const std::string program = programFolder();
    if (!program.empty())
        folders.push_back(program + "/" + KIVCOMTRADE_TOOL_RELATIVE_SAMPLES);
    folders.emplace_back(KIVCOMTRADE_TOOL_SOURCE_SAMPLES);
    folders.emplace_back(KIVCOMTRADE_TOOL_INSTALL_SAMPLES);
    for (const std::string& folder : folders) {
        const std::string candidate = folder + "/" + kBundledRecording;
        if (isRegularFile(candidate))
            return candidate;
    }
    return {};
}

int writeOutputFile(const std::string& tool, const std::string& path,
                    const std::function<void(std::ostream&)>& write)
{
    // The temporary file sits beside the target so that rename() replaces it
    // in one step (same file system); a dot name keeps it out of listings.
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + "." + leaf + ".XXXXXX";
    const int fd = leaf.empty() ? -1 : ::mkstemp(&temporary[0]);
    if (fd < 0) {
        std::cerr << tool << ": cannot write " << path << ": " << std::strerror(errno) << '\n';
        return kExitCantCreate;
    }
    // mkstemp makes the file private (0600); the output gets what a newly
    // created file would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const bool moded = ::fchmod(fd, 0666 & ~mask) == 0;
    ::close(fd);
    std::ofstream file(temporary, std::ios_base::binary | std::ios_base::trunc);
    if (moded && file)
        write(file);
    file.close();
    const int error = errno;
    if (!moded || !file || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int cause = file ? errno : error;
        ::unlink(temporary.c_str());
        std::cerr << tool << ": cannot write " << path << ": " << std::strerror(cause) << '\n';
        return kExitCantCreate;
    }
    return 0;
}

int finishOutput(const std::string& tool, int code)
{
    std::cout.flush();
    const bool failed = !std::cout || std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    if (failed && code == 0) {
        std::cerr << tool << ": cannot write the standard output: " << std::strerror(errno) << '\n';
        return kExitIoError;
    }
    return code;
}

} // namespace KivTools
