#pragma once
// Records written straight from the raw data values of the source's own
// binary data file: when the recording was loaded whole from a .cfg/.dat
// pair whose data file is still the one read, and the plan keeps every
// written channel's raw integers (same coefficients, the same or a wider
// integer type), the values never need to be recovered from the arrays.
// Only the record numbers and time stamps are made anew.

#include "writer/WritePlan.h"

#include <cstdio>
#include <memory>
#include <string>

namespace KivComtradeLib {
namespace WritePlanning {

// The data file as the load found it.
struct DataFileRef {
    std::string path;
    unsigned long long device = 0, inode = 0, size = 0;
    long long modified = 0, changed = 0; // ns since the epoch
    Enums::DataFileType type = Enums::Binary;
    std::size_t recordSize = 0;
    std::size_t analogCount = 0, statusCount = 0;
};

class RawRecords {
public:
    // The data file opened, when it is still the file of `ref` (same device,
    // inode, size and times) and `plan` can be written from its raw values;
    // null otherwise (the caller takes the general path).
    static std::unique_ptr<RawRecords> open(const DataFileRef& ref, const Plan& plan);
    ~RawRecords();
    RawRecords(const RawRecords&) = delete;
    RawRecords& operator=(const RawRecords&) = delete;

    // The plan's records, with their times on the source's axis in `times`
    // (for the stamps). Large writes format blocks on a second thread while
    // this one writes the blocks before.
    DataResult write(const Plan& plan, const double* times, std::FILE* file) const;

private:
    RawRecords() = default;
    // Source records [k, k + n) into `out`, as they are in the file.
    bool readRecords(std::size_t k, std::size_t n, char* out) const;
    int _fd = -1;
    DataFileRef _ref;
};

} // namespace WritePlanning
} // namespace KivComtradeLib
