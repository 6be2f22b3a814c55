// kivcomtrade._core: typed classes over a ColumnarRecording. Every field is
// read from the C++ objects when asked for (no copy into Python objects); the
// arrays share the recording's vectors, each array's base a capsule that
// keeps the recording alive, so the arrays outlive the Recording. Values,
// point series and every other reading of a channel come from the library's
// channel columns (AnalogColumn, StatusColumn): the code of the C++ views.

#include "analysis.h"

#include <KivComtradeLib/ChunkReader.h>
#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/LoadResult.h>
#include <KivComtradeLib/Version.h>
#include <KivComtradeLib/Writer.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;
using KivComtradeLib::AnalogChannelConfig;
using KivComtradeLib::BinaryChannelConfig;
using KivComtradeLib::ColumnarRecording;
using KivComtradeLib::DateTime;

namespace {

using Shared = std::shared_ptr<const ColumnarRecording>;

// The reader gives every text of the recording in UTF-8; a path keeps the
// bytes it was given, so a byte that is not UTF-8 stays as a surrogate (as
// os.fsdecode does): nothing raises and nothing is lost.
py::str text(const std::string& s)
{
    const auto size = static_cast<Py_ssize_t>(s.size());
    PyObject* u = PyUnicode_DecodeUTF8(s.data(), size, "surrogateescape");
    if (!u)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(u);
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long daysFromCivil(long long y, long long m, long long d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// A date/time line as numpy.datetime64[ns]; None when it is not valid (or
// lies outside what 64-bit nanoseconds hold, 1678-2261). A leap second reads
// as the next minute's second 0.
py::object dateTime64(const DateTime& d)
{
    if (!d.valid || d.year < 1678 || d.year > 2261)
        return py::none();
    const long long seconds = daysFromCivil(d.year, d.month, d.day) * 86400LL + d.hour * 3600LL +
                              d.minute * 60LL + d.second;
    return py::module_::import("numpy").attr("datetime64")(seconds * 1000000000LL + d.nanosecond, "ns");
}

// Where the C++ view gives no points for an analog request (it caps a series
// at 2^26 points), Python says why instead of returning an empty array: a
// window or rate that is not a number, or too many points. A window that
// lies after the last sample stays empty.
void checkPointRequest(const ColumnarRecording& rec, std::size_t c, double t0, double t1, double rate)
{
    if (rec.count == 0 || t0 - rec.cfg.analogChannels[c].skew > rec.time[rec.count - 1])
        return;
    const double duration = (t1 < 0.0 ? rec.time[rec.count - 1] : t1) - t0;
    const double points = rate < 0.0 ? 1000.0 : duration * rate;
    if (std::isnan(points) || std::isnan(duration))
        throw py::value_error("a window or rate that is not a number");
    if (points >= static_cast<double>(1ULL << 26))
        throw py::value_error("a request for " + std::to_string(points) + " points, more than the " +
                              std::to_string(1ULL << 26) + " a series may hold");
}

py::array_t<float> pointArray(const std::vector<Kiv::PointF>& points)
{
    py::array_t<float> out({static_cast<py::ssize_t>(points.size()), py::ssize_t(2)});
    float* xy = out.mutable_data();
    for (const Kiv::PointF& p : points) {
        *xy++ = p.x;
        *xy++ = p.y;
    }
    return out;
}

// An array over the recording's own buffer; the capsule holds the recording.
py::array share(const Shared& rec, const py::dtype& dtype, std::vector<py::ssize_t> shape, const void* data)
{
    const auto* keep = new Shared(rec);
    py::capsule base(keep, [](void* p) { delete static_cast<Shared*>(p); });
    const auto item = static_cast<py::ssize_t>(dtype.itemsize());
    std::vector<py::ssize_t> strides(shape.size(), item);
    if (shape.size() == 2)
        strides[0] = shape[1] * item;
    return py::array(dtype, std::move(shape), std::move(strides), data, base);
}

// `side` is checked by the package: "primary", "recorded", else secondary.
KivComtradeLib::LoadOptions loadOptions(const std::string& encoding, const std::string& side)
{
    KivComtradeLib::LoadOptions options;
    options.encoding = encoding;
    options.side = KivComtradeLib::valueSideNamed(side);
    return options;
}

// The selection of Recording() and _chunks(): channel names and analog
// indices, and a window (NaN: open).
KivComtradeLib::LoadOptions selectionOptions(KivComtradeLib::LoadOptions options, bool select,
                                             const std::vector<std::string>& names,
                                             const std::vector<std::size_t>& analogs, double start, double end,
                                             bool fromTrigger)
{
    options.selectChannels = select;
    options.channelNames = names;
    options.analogIndices = analogs;
    options.windowFrom = start;
    options.windowTo = end;
    options.windowFromTrigger = fromTrigger;
    return options;
}

// Blocks of a ChunkReader. Each block's arrays are handed to NumPy without a
// copy (the block moves into a holder its arrays keep alive), and the reader
// decodes the next one into fresh arrays: a caller that keeps the previous
// block while asking for the next holds two blocks, no more.
class Chunks {
public:
    Chunks(const std::string& path, std::size_t samples, const std::string& encoding, bool select,
           const std::vector<std::string>& names, const std::vector<std::size_t>& analogs, double start,
           double end, bool fromTrigger)
    {
        const KivComtradeLib::LoadOptions options =
            selectionOptions(loadOptions(encoding, "secondary"), select, names, analogs, start, end, fromTrigger);
        py::gil_scoped_release unlocked;
        result = reader.open(path, samples, options);
    }

    py::object next()
    {
        auto block = std::make_shared<KivComtradeLib::ColumnChunk>();
        bool more = false;
        {
            py::gil_scoped_release unlocked;
            more = reader.next(*block);
        }
        if (!more)
            return py::none();
        const auto n = static_cast<py::ssize_t>(block->count);
        const auto na = static_cast<py::ssize_t>(reader.analogChannelIndices.size());
        const auto ns = static_cast<py::ssize_t>(reader.statusChannelIndices.size());
        return py::make_tuple(block->first, share(block, py::dtype::of<double>(), {n}, block->time.data()),
                              share(block, py::dtype::of<double>(), {na, n}, block->analog.data()),
                              share(block, py::dtype::of<bool>(), {ns, n}, block->status.data()));
    }

    KivComtradeLib::ChunkReader reader;
    int result = -1;

private:
    static py::array share(const std::shared_ptr<KivComtradeLib::ColumnChunk>& block, const py::dtype& dtype,
                           std::vector<py::ssize_t> shape, const void* data)
    {
        static const double none = 0.0; // an empty row set has no storage of its own
        if (data == nullptr)
            data = &none;
        const auto* keep = new std::shared_ptr<KivComtradeLib::ColumnChunk>(block);
        py::capsule base(keep, [](void* p) { delete static_cast<std::shared_ptr<KivComtradeLib::ColumnChunk>*>(p); });
        const auto item = static_cast<py::ssize_t>(dtype.itemsize());
        std::vector<py::ssize_t> strides(shape.size(), item);
        if (shape.size() == 2)
            strides[0] = shape[1] * item;
        return py::array(dtype, std::move(shape), std::move(strides), data, base);
    }
};

// One channel line of a loaded recording: a view of its record in the
// recording's configuration.
template <class Config>
class Channel {
public:
    Channel(Shared rec, std::size_t index) : _rec(std::move(rec)), _index(index) {}
    const Config& config() const;
    std::size_t index() const { return _index; }

private:
    Shared _rec;
    std::size_t _index;
};

template <>
const AnalogChannelConfig& Channel<AnalogChannelConfig>::config() const
{
    return _rec->cfg.analogChannels[_index];
}

template <>
const BinaryChannelConfig& Channel<BinaryChannelConfig>::config() const
{
    return _rec->cfg.binaryChannels[_index];
}

using AnalogChannel = Channel<AnalogChannelConfig>;
using StatusChannel = Channel<BinaryChannelConfig>;


class Recording {
public:
    // With a selection (channel names and analog indices, a window of
    // seconds, NaN open) only that is read: the arrays hold the selected rows.
    Recording(const std::string& path, const std::string& encoding, const std::string& side, bool select,
              const std::vector<std::string>& names, const std::vector<std::size_t>& analogs, double start,
              double end, bool fromTrigger)
    {
        auto rec = std::make_shared<ColumnarRecording>();
        const KivComtradeLib::LoadOptions options =
            selectionOptions(loadOptions(encoding, side), select, names, analogs, start, end, fromTrigger);
        {
            py::gil_scoped_release unlocked;
            result = rec->load(path, options);
            ordered = std::is_sorted(rec->time.begin(), rec->time.end());
        }
        _share(std::move(rec));
    }

    // From bytes: a .cfg text with the .dat's bytes (dat None: no data file),
    // or a .cff's bytes. The buffers are held (a bytearray cannot be resized
    // meanwhile) and read with the GIL released, like files.
    Recording(const py::object& cfg, const py::object& dat, const py::object& cff, const std::string& name,
              const std::string& encoding, const std::string& side)
    {
        auto rec = std::make_shared<ColumnarRecording>();
        const KivComtradeLib::LoadOptions options = loadOptions(encoding, side);
        const auto bytes = [](const py::buffer_info& b) {
            return std::make_pair(static_cast<const char*>(b.ptr),
                                  static_cast<std::size_t>(b.size) * static_cast<std::size_t>(b.itemsize));
        };
        if (!cff.is_none()) {
            const py::buffer_info whole = cff.cast<py::buffer>().request();
            py::gil_scoped_release unlocked;
            result = rec->loadCombinedFromMemory(bytes(whole).first, bytes(whole).second, options, name);
            ordered = std::is_sorted(rec->time.begin(), rec->time.end());
        } else {
            const py::buffer_info text = cfg.cast<py::buffer>().request();
            py::buffer_info values;
            if (!dat.is_none())
                values = dat.cast<py::buffer>().request();
            const std::string cfgText(bytes(text).first, bytes(text).second);
            py::gil_scoped_release unlocked;
            result = rec->loadFromMemory(cfgText, dat.is_none() ? nullptr : bytes(values).first,
                                         dat.is_none() ? 0 : bytes(values).second, options, name);
            ordered = std::is_sorted(rec->time.begin(), rec->time.end());
        }
        _share(std::move(rec));
    }

    // A recording built from arrays (Writer::fromArrays): loaded.
    explicit Recording(std::shared_ptr<ColumnarRecording> rec)
    {
        result = 0;
        ordered = std::is_sorted(rec->time.begin(), rec->time.end());
        _share(std::move(rec));
    }

    const ColumnarRecording& rec() const { return *_rec; }

    KivComtradeLib::AnalogColumn analogColumn(std::size_t c) const
    {
        if (c >= _rec->cfg.analogChannels.size())
            throw py::index_error("no analog channel " + std::to_string(c));
        if (_rec->count != 0 && _rec->analogRow(c) == nullptr)
            throw py::index_error("analog channel " + std::to_string(c) + " was not loaded");
        return _rec->analogColumn(c);
    }

    KivComtradeLib::StatusColumn statusColumn(std::size_t c) const
    {
        if (c >= _rec->cfg.binaryChannels.size())
            throw py::index_error("no status channel " + std::to_string(c));
        if (_rec->count != 0 && _rec->statusRow(c) == nullptr)
            throw py::index_error("status channel " + std::to_string(c) + " was not loaded");
        return _rec->statusColumn(c);
    }

    // Each time looked up afresh, as the C++ view with hint 0 finds it; NaN
    // outside the recorded range, where the C++ view gives 0.0.
    double value(const KivComtradeLib::AnalogColumn& column, double t) const
    {
        if (!column.covers(t))
            return std::numeric_limits<double>::quiet_NaN();
        std::size_t hint = 0;
        return ordered ? column.valueAt(t) : column.getValue(t, hint);
    }

    int result = -1;
    bool ordered = true; // times never decrease: a binary search finds what the views' scan finds
    py::object time, analog, status;
    py::list analogChannels, statusChannels;

private:
    Shared _rec;

    // Keeps the loaded recording; on success, its arrays and channels for Python.
    void _share(Shared rec)
    {
        _rec = std::move(rec);
        if (result != 0)
            return;
        const ColumnarRecording& r = *_rec;
        const auto n = static_cast<py::ssize_t>(r.count);
        const auto na = static_cast<py::ssize_t>(r.analogChannelIndices.size());
        const auto ns = static_cast<py::ssize_t>(r.statusChannelIndices.size());
        // The row-major shapes below are only right when the vectors hold
        // exactly that many values.
        if (r.time.size() != r.count || r.analog.size() != r.count * r.analogChannelIndices.size() ||
            r.status.size() != r.count * r.statusChannelIndices.size())
            throw std::runtime_error("recording arrays do not match the channel counts");
        time = share(_rec, py::dtype::of<double>(), {n}, r.time.data());
        analog = share(_rec, py::dtype::of<double>(), {na, n}, r.analog.data());
        status = share(_rec, py::dtype::of<bool>(), {ns, n}, r.status.data());
        for (std::size_t c : r.analogChannelIndices)
            analogChannels.append(py::cast(AnalogChannel(_rec, c)));
        for (std::size_t c : r.statusChannelIndices)
            statusChannels.append(py::cast(StatusChannel(_rec, c)));
    }
};

// Recording.save: Writer::write with the options in Python's words. A bad
// request raises ValueError, a file that cannot be written OSError, both
// with the writer's sentence; returns the files written.
py::list save(const Recording& r, const std::string& path, const std::string& type, int revision, py::object start,
              py::object end, const std::vector<std::string>& channels)
{
    KivComtradeLib::WriteOptions options;
    if (!KivComtradeLib::Converters::dataFileTypeOf(type, options.type))
        throw py::value_error("type must be ascii, binary, binary32 or float32, not '" + type + "'");
    options.revision = revision;
    if (!start.is_none())
        options.from = start.cast<double>();
    if (!end.is_none())
        options.to = end.cast<double>();
    options.channels = channels;
    // The arrays are writable views: values changed in them must be written.
    options.reuseDataFile = false;
    KivComtradeLib::WriteReport report;
    {
        py::gil_scoped_release unlocked;
        report = KivComtradeLib::Writer::write(r.rec(), path, options);
    }
    if (report.result == KivComtradeLib::WriteReport::CannotWrite) {
        PyErr_SetString(PyExc_OSError, report.message.c_str());
        throw py::error_already_set();
    }
    if (!report.ok())
        throw py::value_error(report.message);
    py::list files;
    for (const std::string& file : report.files)
        files.append(text(file));
    return files;
}

DateTime dateFields(const py::object& fields)
{
    DateTime d;
    if (fields.is_none())
        return d;
    const auto t = fields.cast<std::vector<long long>>();
    if (t.size() != 7)
        throw py::value_error("a date is (year, month, day, hour, minute, second, nanosecond)");
    d.valid = true;
    d.year = static_cast<int>(t[0]), d.month = static_cast<int>(t[1]), d.day = static_cast<int>(t[2]);
    d.hour = static_cast<int>(t[3]), d.minute = static_cast<int>(t[4]), d.second = static_cast<int>(t[5]);
    d.nanosecond = t[6];
    return d;
}

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

// kivcomtrade.from_arrays: Writer::fromArrays; ValueError with its sentence.
std::unique_ptr<Recording> fromArrays(const Doubles& time, const Doubles& analog, const py::object& status,
                                      const std::vector<std::string>& analogNames,
                                      const std::vector<std::string>& analogUnits,
                                      const std::vector<std::string>& statusNames,
                                      const std::vector<std::string>& phases, const std::string& station,
                                      const std::string& device, double frequency, const py::object& start,
                                      const py::object& trigger)
{
    KivComtradeLib::RecordingArrays arrays;
    arrays.time.assign(time.data(), time.data() + time.size());
    arrays.analog.assign(analog.data(), analog.data() + analog.size());
    if (!status.is_none()) {
        const auto states = status.cast<py::array_t<std::uint8_t, py::array::c_style | py::array::forcecast>>();
        arrays.status.assign(states.data(), states.data() + states.size());
    }
    arrays.analogNames = analogNames;
    arrays.analogUnits = analogUnits;
    arrays.statusNames = statusNames;
    arrays.analogPhases = phases;
    arrays.station = station;
    arrays.device = device;
    arrays.frequency = frequency;
    arrays.start = dateFields(start);
    arrays.trigger = dateFields(trigger);
    auto rec = std::make_shared<ColumnarRecording>();
    const KivComtradeLib::WriteReport report = KivComtradeLib::Writer::fromArrays(arrays, *rec);
    if (!report.ok())
        throw py::value_error(report.message);
    return std::make_unique<Recording>(std::move(rec));
}

template <class Config>
void channelFields(py::class_<Channel<Config>>& cls)
{
    using C = Channel<Config>;
    cls.def_property_readonly("index", &C::index, "0-based position among the channels of its kind")
        .def_property_readonly("name", [](const C& c) { return text(c.config().channelId); })
        .def_property_readonly("phase", [](const C& c) { return text(c.config().phase); })
        .def_property_readonly("component", [](const C& c) { return text(c.config().circuitComponent); });
}

} // namespace

PYBIND11_MODULE(_core, m)
{
    m.doc() = "Native part of kivcomtrade; use the kivcomtrade package.";
    m.attr("__version__") = KIVCOMTRADE_VERSION_STRING;

    py::enum_<KivComtradeLib::LoadResult>(m, "LoadResult")
        .value("Success", KivComtradeLib::LoadResult::Success)
        .value("NotARecordingName", KivComtradeLib::LoadResult::NotARecordingName)
        .value("NoConfigFile", KivComtradeLib::LoadResult::NoConfigFile)
        .value("BadConfigFile", KivComtradeLib::LoadResult::BadConfigFile)
        .value("ConfigRead", KivComtradeLib::LoadResult::ConfigRead)
        .value("NoDataFile", KivComtradeLib::LoadResult::NoDataFile)
        .value("BadDataFile", KivComtradeLib::LoadResult::BadDataFile)
        .value("BadSelection", KivComtradeLib::LoadResult::BadSelection);
    m.def("load_result_text",
          [](int code) { return std::string(KivComtradeLib::loadResultText(KivComtradeLib::toLoadResult(code))); });

    py::class_<AnalogChannel> analog(m, "AnalogChannel",
                                     "One analog channel line. Values come out in `base_unit` (a prefix such "
                                     "as k in kV is applied to the values).");
    channelFields(analog);
    analog.def_property_readonly("unit", [](const AnalogChannel& c) { return text(c.config().unit); })
        .def_property_readonly("base_unit", [](const AnalogChannel& c) { return text(c.config().valueUnit()); })
        .def_property_readonly("multiplier", [](const AnalogChannel& c) { return c.config().multiplier; })
        .def_property_readonly("a", [](const AnalogChannel& c) { return c.config().a; })
        .def_property_readonly("b", [](const AnalogChannel& c) { return c.config().b; })
        .def_property_readonly("skew", [](const AnalogChannel& c) { return c.config().skew; }, "seconds")
        .def_property_readonly("min", [](const AnalogChannel& c) { return c.config().min; })
        .def_property_readonly("max", [](const AnalogChannel& c) { return c.config().max; })
        .def_property_readonly("primary", [](const AnalogChannel& c) { return c.config().primary; })
        .def_property_readonly("secondary", [](const AnalogChannel& c) { return c.config().secondary; })
        .def_property_readonly("ps", [](const AnalogChannel& c) { return c.config().isSecondary ? "S" : "P"; })
        .def("__repr__", [](const AnalogChannel& c) {
            return py::str("AnalogChannel({}, {!r}, {!r})")
                .format(c.index(), text(c.config().channelId), text(c.config().unit));
        });

    py::class_<StatusChannel> status(m, "StatusChannel", "One status (digital) channel line.");
    channelFields(status);
    status.def_property_readonly("normal_state", [](const StatusChannel& c) { return c.config().normalState; })
        .def("__repr__", [](const StatusChannel& c) {
            return py::str("StatusChannel({}, {!r})").format(c.index(), text(c.config().channelId));
        });

    py::class_<Chunks>(m, "_Chunks")
        .def(py::init<const std::string&, std::size_t, const std::string&, bool, const std::vector<std::string>&,
                      const std::vector<std::size_t>&, double, double, bool>(),
             py::arg("path"), py::arg("samples"), py::arg("encoding") = "", py::arg("select") = false,
             py::arg("names") = std::vector<std::string>(), py::arg("analogs") = std::vector<std::size_t>(),
             py::arg("start") = std::numeric_limits<double>::quiet_NaN(),
             py::arg("end") = std::numeric_limits<double>::quiet_NaN(), py::arg("from_trigger") = false)
        .def_readonly("result", &Chunks::result)
        .def_property_readonly("message", [](const Chunks& c) { return text(c.reader.report.message); })
        .def_property_readonly("file", [](const Chunks& c) { return text(c.reader.report.file); })
        .def_property_readonly("report_result", [](const Chunks& c) { return c.reader.report.result; })
        .def_property_readonly("analog_indices", [](const Chunks& c) { return c.reader.analogChannelIndices; })
        .def_property_readonly("status_indices", [](const Chunks& c) { return c.reader.statusChannelIndices; })
        .def("next", &Chunks::next);

    using R = Recording;
    const auto report = [](const R& r) -> const KivComtradeLib::LoadReport& { return r.rec().report; };
    py::class_<R>(m, "Recording")
        .def(py::init<const std::string&, const std::string&, const std::string&, bool, const std::vector<std::string>&,
                      const std::vector<std::size_t>&, double, double, bool>(),
             py::arg("path"), py::arg("encoding") = "", py::arg("side") = "secondary", py::arg("select") = false,
             py::arg("names") = std::vector<std::string>(), py::arg("analogs") = std::vector<std::size_t>(),
             py::arg("start") = std::numeric_limits<double>::quiet_NaN(),
             py::arg("end") = std::numeric_limits<double>::quiet_NaN(), py::arg("from_trigger") = false)
        .def(py::init<const py::object&, const py::object&, const py::object&, const std::string&, const std::string&,
                      const std::string&>(),
             py::arg("cfg"), py::arg("dat"), py::arg("cff"), py::arg("name"), py::arg("encoding"), py::arg("side"))
        .def(py::init(&fromArrays)) // kivcomtrade.from_arrays
        .def_property_readonly("first_record", [](const R& r) { return r.rec().firstRecord; })
        .def_property_readonly("selection", [report](const R& r) { return text(report(r).selection); })
        .def_readonly("_result", &R::result)
        .def_property_readonly("_message", [report](const R& r) { return text(report(r).message); })
        .def_property_readonly("_file", [report](const R& r) { return text(report(r).file); })
        .def_readonly("time", &R::time, "seconds of every record (float64, shape (n,))")
        .def_readonly("analog", &R::analog, "engineering values (float64, shape (analog channels, n))")
        .def_readonly("status", &R::status, "states (bool, shape (status channels, n))")
        .def_readonly("analog_channels", &R::analogChannels)
        .def_readonly("status_channels", &R::statusChannels)
        .def_property_readonly("station", [](const R& r) { return text(r.rec().cfg.stationName); })
        .def_property_readonly("device", [](const R& r) { return text(r.rec().cfg.recDevId); })
        .def_property_readonly("revision", [](const R& r) { return r.rec().cfg.revYear; })
        .def_property_readonly("frequency", [](const R& r) { return r.rec().cfg.lineFrequency; })
        .def_property_readonly("sampling_rates",
                               [](const R& r) {
                                   py::list rates;
                                   for (const auto& rate : r.rec().cfg.samplingRates)
                                       rates.append(py::make_tuple(rate.rate, rate.endSample));
                                   return rates;
                               })
        .def_property_readonly("data_file_type",
                               [](const R& r) {
                                   return KivComtradeLib::Converters::dataFileTypeKeyword(r.rec().cfg.dataFileType);
                               })
        .def_property_readonly("time_multiplier", [](const R& r) { return r.rec().cfg.timeMultiplier; })
        .def_property_readonly("duration", [](const R& r) { return r.rec().duration; })
        .def_property_readonly("start", [](const R& r) { return dateTime64(r.rec().cfg.start); })
        .def_property_readonly("trigger", [](const R& r) { return dateTime64(r.rec().cfg.trigger); })
        .def_property_readonly("trigger_offset",
                               [](const R& r) -> py::object {
                                   const double offset = r.rec().cfg.triggerOffset;
                                   return std::isfinite(offset) ? py::object(py::float_(offset)) : py::none();
                               })
        .def_property_readonly("time_from_trigger",
                               [](const R& r) {
                                   const ColumnarRecording& rec = r.rec();
                                   py::array_t<double> out(static_cast<py::ssize_t>(rec.count));
                                   double* t = out.mutable_data();
                                   const double origin = rec.triggerTime();
                                   for (std::size_t k = 0; k < rec.count; ++k)
                                       t[k] = rec.time[k] - origin;
                                   return out;
                               })
        .def_property_readonly("header_text", [](const R& r) { return text(r.rec().headerText); })
        .def_property_readonly("information_text", [](const R& r) { return text(r.rec().informationText); })
        .def_property_readonly("warnings",
                               [report](const R& r) {
                                   py::list out;
                                   for (const auto& w : report(r).warnings)
                                       out.append(text(w));
                                   return out;
                               })
        .def_property_readonly("encoding", [report](const R& r) { return report(r).encoding; })
        .def_property_readonly("missing_values", [report](const R& r) { return report(r).missingValues; })
        .def_property_readonly("file_name", [](const R& r) { return text(r.rec().fileName); })
        .def_property_readonly("cfg_file_name", [](const R& r) { return text(r.rec().cfgFileName); })
        .def_property_readonly("dat_file_name", [](const R& r) { return text(r.rec().datFileName); })
        .def("_value", [](const R& r, std::size_t c, double t) { return r.value(r.analogColumn(c), t); })
        .def("_values",
             [](const R& r, std::size_t c, const py::array_t<double, py::array::c_style | py::array::forcecast>& t) {
                 const KivComtradeLib::AnalogColumn column = r.analogColumn(c);
                 py::array_t<double> out(t.request().shape);
                 const double* in = t.data();
                 double* o = out.mutable_data();
                 for (py::ssize_t i = 0; i < t.size(); ++i)
                     o[i] = r.value(column, in[i]);
                 return out;
             })
        .def("_analog_points",
             [](const R& r, std::size_t c, double t0, double t1, double rate) {
                 const std::vector<Kiv::PointF> points = r.analogColumn(c).getPoints(t0, t1, rate);
                 if (points.empty())
                     checkPointRequest(r.rec(), c, t0, t1, rate);
                 return pointArray(points);
             })
        .def("_status_points", [](const R& r, std::size_t c, double t0, double t1) {
            return pointArray(r.statusColumn(c).getPoints(t0, t1));
        })
        .def("_rms", [](const R& r, std::size_t c) { return KivPython::rmsSeries(r.rec(), c); })
        .def("_phasors", [](const R& r, std::size_t c) { return KivPython::phasorSeries(r.rec(), c); })
        .def("_phasor", [](const R& r, std::size_t c, double t) { return KivPython::phasorAt(r.rec(), c, t); })
        .def("_harmonics",
             [](const R& r, std::size_t c, double t, int order) { return KivPython::harmonicsAt(r.rec(), c, t, order); })
        .def("_frequencies", [](const R& r, std::size_t c) { return KivPython::frequencySeries(r.rec(), c); })
        .def("_phase_groups", [](const R& r) { return KivPython::phaseGroups(r.rec()); })
        .def("_save", &save);
    KivPython::addModuleFunctions(m);
}
