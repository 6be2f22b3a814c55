#pragma once

#include <KivComtradeLib/Export.h>

#include <string>
#include <vector>

namespace KivComtradeLib {

// What a load found, beside its result code: why it failed, or what it read
// differently from what the configuration announced. Filled by every load of
// Cfg, Dat, Comtrade and ColumnarRecording, starting empty each time.
// Comtrade and ColumnarRecording build one report for the whole load: the
// configuration's report is moved into it (their cfg.report, and Comtrade's
// dat.report, are left empty), then the data file's outcome and warnings
// follow: the failure of the step that failed, the warnings of both.
//
// Failure sentences, by file:
//   "<cfg>: no such configuration file"                               (2)
//   "<cfg>: line 7 (analog channel 4), field 8 'skew': 'x' is not a number"  (3)
//   "<cfg>: line 2 (channel counts line): 2 analog and 2 status channels
//    differ from the total 3"; "... : empty"; "... : missing: the file ends
//    before it"; fields that fail are named by number and role   (3)
//   "<dat>: no such data file"                                        (5)
//   "<dat>: its 17 bytes hold no whole record of 18 bytes"; "<dat>: is
//    empty"; "<dat>: the configuration announces no records"          (6)
//   "<dat>: line 12, field 5 (analog channel 3): not a number" (text; the
//    field is 'sample number', 'time stamp', analog or status channel n,
//    and what was wrong "not a number", "empty" or "missing")          (6)
// Warnings on success (each names the data file):
//   "holds N records beyond the M the configuration announces; they are ignored"
//   "holds only N of the M records the configuration announces"
//   "ends with N bytes of a partial record; they are ignored"    (binary)
//   "N analog values marked as missing (read as NaN)"
// A selection that the recording cannot satisfy (LoadOptions) gives 7:
//   "<cfg>: no channel named 'IX'"; "<cfg>: no analog channel 40 (16 analog
//    channels)"; "<cfg>: the selection names no channel"; "<dat>: the
//    window 5 s to 6 s holds no sample (the samples run from 0 s to 2 s)"
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
    // Analog values the data file marks as missing, now NaN: BINARY -32768,
    // BINARY32 -2147483648, a FLOAT32 NaN; in text an empty field, or 99999
    // (revisions 1999-2012) or 999999 (before 1999) written as an integer.
    unsigned long long missingValues = 0;
    // A selective load (LoadOptions' channels or window): what was read, e.g.
    // "records 4001-8000 of 2380952 (1 s to 1.99975 s), 3 of 16 analog and 0
    // of 16 status channels: IA, IB, IC"; empty for a whole load.
    std::string selection;

    // Back to the state before any load.
    void clear();
    // Sets result, file, line and message in one step; returns `code`.
    int fail(int code, const std::string& failedFile, unsigned long long failedLine,
             const std::string& text);
    void warn(const std::string& text) { warnings.push_back(text); }
};

} // namespace KivComtradeLib
