#pragma once

#include <KivComtradeLib/Export.h>

#include <string>
#include <vector>

namespace KivComtradeLib {

// What a load found, beside its result code: why it failed, or what it read
// differently from what the configuration announced. Filled by every load of
// Cfg, Dat, Comtrade and ColumnarRecording, starting empty each time.
class KIVCOMTRADE_API LoadReport {
public:
    int result = -1;                   // the code the load returned; -1 before any load
    // On failure: one sentence naming the file and, where known, the line and
    // the field, e.g. "x.cfg: line 7 (analog channel 4), field 8 'skew': not a
    // number". Empty on success.
    std::string message;
    std::string file;                  // the file the message is about
    unsigned long long line = 0;       // 1-based line of `file` the message is about; 0 none
    std::vector<std::string> warnings; // on success: each a sentence
    std::string encoding;              // encoding the configuration's texts were read in
    bool encodingDetected = true;      // false when the host named the encoding
    unsigned long long missingValues = 0; // analog values the data file marks as missing

    // Back to the state before any load.
    void clear();
    // Sets result, file, line and message in one step; returns `code`.
    int fail(int code, const std::string& failedFile, unsigned long long failedLine,
             const std::string& text);
    void warn(const std::string& text) { warnings.push_back(text); }
};

} // namespace KivComtradeLib
