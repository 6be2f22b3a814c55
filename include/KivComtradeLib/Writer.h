#pragma once

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Comtrade.h>
#include <KivComtradeLib/DateTime.h>
#include <KivComtradeLib/Enums.h>
#include <KivComtradeLib/Export.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace KivComtradeLib {

// How a recording is to be written.
class KIVCOMTRADE_API WriteOptions {
public:
    Enums::DataFileType type = Enums::Binary; // of the data file
    int revision = 2013;                      // 1999 or 2013
    // Window, in seconds on the recording's own time axis (Sample::time,
    // ColumnarRecording::time): the records with from <= time <= to.
    double from = -std::numeric_limits<double>::infinity();
    double to = std::numeric_limits<double>::infinity();
    // Channels to write, in this order within each kind; empty: all. Each item
    // is a channel number, "A3" or "3" (analog channel 3) or "D2" (status
    // channel 2), 1-based in file order, or an identifier (channelId, blanks
    // around it ignored; exactly, then in any ASCII letter case; analog
    // channels first). A channel named twice is written once.
    std::vector<std::string> channels;
    // The side an analog channel's data values are written on when its line
    // has ratios (primary and secondary): as the source says, primary (flag
    // P, gain and offset divided by secondary/primary) or secondary (flag S).
    // Values read back the same either way: a reader brings P values to the
    // secondary side; the choice is for readers that ignore the flag.
    enum Side : int { SourceSide = 0, PrimarySide = 1, SecondarySide = 2 };
    Side side = SourceSide;
    // Opt-in, for hosts that write what they loaded without editing it (a
    // converter): a ColumnarRecording loaded whole from a BINARY or BINARY32
    // .cfg/.dat pair whose data file is still the one read (same file, size
    // and modification and change times; its configuration coefficients and
    // arrays not replaced) is written from the file's raw data values when
    // every written channel keeps them (the same or a wider integer type):
    // the same bytes, several times faster. The arrays' values are then not
    // read, so a value changed in place after the load would not be written;
    // that is why it is off unless asked for.
    bool reuseDataFile = false;
};

// The outcome of a write: a result and, when it failed, one sentence.
//
// Sentences, by result:
//   BadOptions      "the output name 'x.txt' ends in none of .cfg, .dat, .cff";
//                   "revision 2005 is not written (1999 or 2013)"
//   EmptyWindow     "no record lies in the window 2 s to 1 s (the recording
//                   runs from 0 s to 0.5 s)"
//   UnknownChannel  "no channel is called 'IX'"
//   NoChannels      "the selection leaves no channel to write"
//   BadValues       "analog channel 3 'IA' holds a value (inf) that BINARY
//                   cannot hold with any gain"; "a name holds a comma or a
//                   line end: 'a,b'"; arrays of the wrong length
//   CannotWrite     "cannot write /x/y.dat: No such file or directory"
//   NotLoaded       "the recording is not loaded"
// A write that fails leaves no file under the target names (the data goes
// to temporary files in the same folder that are renamed at the end).
class KIVCOMTRADE_API WriteReport {
public:
    enum Result : int {
        Written = 0,
        BadOptions = 1,
        EmptyWindow = 2,
        UnknownChannel = 3,
        NoChannels = 4,
        BadValues = 5,
        CannotWrite = 6,
        NotLoaded = 7,
    };
    Result result = Written;
    std::string message;               // empty on success
    std::vector<std::string> files;    // the files written (.cfg and .dat, or .cff)
    unsigned long long records = 0;    // records written
    // Analog channels whose values could not be kept bit for bit in the type
    // written and were given a new gain and offset spanning their values
    // (each value then reads back within half a step; FLOAT32: float rounding).
    unsigned rescaledChannels = 0;
    std::vector<std::string> warnings; // sentences
    // The records were copied from the source's data file (reuseDataFile).
    bool dataFileReused = false;

    bool ok() const { return result == Written; }
    // The words for a result ("written", "bad options", ...).
    static const char* describe(Result result);
};

// A recording described by arrays (simulation results, NumPy columns), made
// into a ColumnarRecording that can be viewed and written. Values are in the
// base unit of their channel, as loads give them (volts for a unit kV).
class KIVCOMTRADE_API RecordingArrays {
public:
    std::vector<double> time;          // seconds from the first sample, non-decreasing
    std::vector<double> analog;        // channel c's values at [c * n, (c + 1) * n), n = time.size(); NaN: missing
    std::vector<std::uint8_t> status;  // channel c's states (0/1) the same way
    std::vector<std::string> analogNames;
    std::vector<std::string> analogUnits;  // one per analog channel, or empty ("V" each)
    std::vector<std::string> analogPhases; // one per analog channel, or empty
    std::vector<std::string> statusNames;
    std::string station;
    std::string device;
    double frequency = 50.0;           // line frequency, Hz
    DateTime start;                    // of the first sample; invalid: 01/01/1970 00:00:00
    DateTime trigger;                  // invalid: the start
};

// Writes COMTRADE recordings: a .cfg + .dat pair (with .hdr and .inf files
// when the recording has header or information text), or one combined .cff file
// (CFG, INF, HDR and DAT sections), by the output name's extension (any letter
// case; for a pair, either name; the other files take the same case).
//
// What is written is standard COMTRADE of the chosen revision: the
// station line with the revision year, the 13-field analog and 5-field status
// lines (channels renumbered 1, 2, ...), the sampling rates of the written
// records (a window of a multi-rate recording keeps the segments it crosses,
// cut and renumbered; a recording timed by its time stamps writes "0" rates
// and "0,n"), the date/time of the first written record (the source's start
// moved by the window's first time) and the trigger's (unchanged), with nine
// decimals when the source's time stamps count nanoseconds, the data-file
// type, the time multiplier, and for 2013 the time code and time quality
// lines (the source's, else "0,0"). CR LF line ends; texts in UTF-8.
// Records are numbered from 1. Time stamps: the whole of a recording timed
// by its stamps keeps them; a window counts from its earliest record; with
// rates, stamps are the times in stamp units (informative only).
//
// Values. From a BINARY, BINARY32 or ASCII source each analog channel first
// keeps its gain, offset, skew, ratios and range, and the raw integers are
// recovered from the values, so every value reads back bit for bit; this
// holds whenever the written type can hold every such integer (always for
// the same or a wider type: BINARY < BINARY32 = ASCII, except 99999 in a
// 1999 ASCII file, its missing-value marker). Otherwise (a narrower type
// that cannot, a FLOAT32 source, arrays, values that are no integers under
// the channel's gain and offset) the channel gets a gain and offset that span
// its values and every value reads back within half a step of the new gain
// (written range: BINARY +-32767, BINARY32 +-2147483647, ASCII +-99998), up
// to the rounding of the reader's own (raw x a + b) x multiplier. To FLOAT32 a
// channel keeps its gain and offset (raw values as floats, integers exactly).
// A missing value (NaN) is written as the type's marker: BINARY -32768,
// BINARY32 -2147483648, FLOAT32 NaN, ASCII an empty field (2013) or 99999
// (1999). The pass that writes the data finds a channel that cannot stay
// exact and writes the data again; a .cff checks every channel first.
class KIVCOMTRADE_API Writer {
public:
    static WriteReport write(const Comtrade& recording, const std::string& path,
                             const WriteOptions& options = WriteOptions());
    static WriteReport write(const ColumnarRecording& recording, const std::string& path,
                             const WriteOptions& options = WriteOptions());

    // Builds `out` from `arrays` (loaded, report.result 0, fileName empty). Evenly
    // spaced times (within 1% of a step) become one sampling rate, others
    // rate 0 with microsecond time stamps. Fails with BadValues on arrays of
    // the wrong length, times that decrease or are not finite, or a name with
    // a comma or a line end.
    static WriteReport fromArrays(const RecordingArrays& arrays, ColumnarRecording& out);
};

} // namespace KivComtradeLib
