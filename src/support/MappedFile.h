#pragma once
// A whole file mapped read-only into memory where the platform allows it
// (POSIX): a selective read then touches only the pages of the records it
// decodes, with no copy. Elsewhere, or when mapping fails, data() is null
// and the caller reads the file as a stream.

#include <string>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define KIVCOMTRADE_HAS_MMAP 1
#endif

namespace KivComtradeLib {

class MappedFile {
public:
    explicit MappedFile(const std::string& path)
    {
#if defined(KIVCOMTRADE_HAS_MMAP)
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
            void* p = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (p != MAP_FAILED) {
                _data = static_cast<const unsigned char*>(p);
                _size = static_cast<unsigned long long>(st.st_size);
            }
        }
        ::close(fd);
#else
        (void)path;
#endif
    }
    ~MappedFile()
    {
#if defined(KIVCOMTRADE_HAS_MMAP)
        if (_data != nullptr)
            ::munmap(const_cast<unsigned char*>(_data), static_cast<std::size_t>(_size));
#endif
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const unsigned char* data() const { return _data; }
    unsigned long long size() const { return _size; }

private:
    const unsigned char* _data = nullptr;
    unsigned long long _size = 0;
};

} // namespace KivComtradeLib
