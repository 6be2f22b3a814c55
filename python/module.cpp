// kivcomtrade._core: a ColumnarRecording seen from Python. The arrays share
// the recording's vectors (no copy): each array's base is a capsule that
// keeps the recording alive, so the arrays outlive the Python objects that
// made them. Values and point series follow the rules of the C++ channel
// views (AnalogChannel::getValue / getPoints, BinaryChannel::getPoints).

#include <KivComtradeLib/ChunkReader.h>
#include <KivComtradeLib/ColumnarRecording.h>

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
using KivComtradeLib::ColumnarRecording;
using KivComtradeLib::DateTime;
using KivComtradeLib::LoadOptions;

namespace {

// Point series are capped like the views': more is a mistake, never a plot.
constexpr double kMaxPoints = static_cast<double>(1ULL << 26);

class Data {
public:
    std::shared_ptr<ColumnarRecording> rec = std::make_shared<ColumnarRecording>();
    int result = -1;
    bool ordered = true; // times never decrease: a binary search finds what the views' scan finds

    std::size_t count() const { return rec->count; }
    const double* time() const { return rec->time.data(); }

    const double* analogRow(std::size_t c) const
    {
        if (c >= rec->cfg.analogChannels.size())
            throw py::index_error("no analog channel " + std::to_string(c));
        const double* row = rec->analogRow(c);
        if (row == nullptr && rec->count != 0)
            throw py::index_error("analog channel " + std::to_string(c) + " was not loaded");
        return row;
    }
    const std::uint8_t* statusRow(std::size_t c) const
    {
        if (c >= rec->cfg.binaryChannels.size())
            throw py::index_error("no status channel " + std::to_string(c));
        const std::uint8_t* row = rec->statusRow(c);
        if (row == nullptr && rec->count != 0)
            throw py::index_error("status channel " + std::to_string(c) + " was not loaded");
        return row;
    }

    // AnalogChannel::getValue on one row: `hint` only moves forward.
    double valueAt(const double* v, double skew, double t, std::size_t& hint) const
    {
        const std::size_t n = count();
        const double* tm = time();
        const double tt = t - skew;
        if (n == 0 || tt < 0.0 || tt > tm[n - 1])
            return 0.0;
        const std::size_t last = n - 1;
        std::size_t k = std::min(hint, last);
        hint = k;
        while (tt > tm[k]) {
            ++k;
            hint = k;
            if (k >= n) {
                k = last;
                hint = k;
                break;
            }
        }
        if (k == 0)
            return v[0];
        const double slope = (v[k] - v[k - 1]) / (tm[k] - tm[k - 1]);
        return (v[k - 1] - tm[k - 1] * slope) + tt * slope;
    }

    // A fresh search from the first sample, as a caller with hint 0 gets.
    double value(std::size_t c, double t) const
    {
        const double* v = analogRow(c);
        const double skew = rec->cfg.analogChannels[c].skew;
        std::size_t hint = 0;
        if (ordered && count() != 0) {
            const double* tm = time();
            hint = static_cast<std::size_t>(std::lower_bound(tm, tm + count(), t - skew) - tm);
        }
        return valueAt(v, skew, t, hint);
    }

    std::vector<float> analogPoints(std::size_t c, double startTime, double endTime, double rate) const
    {
        std::vector<float> xy;
        const double* v = analogRow(c);
        const std::size_t n = count();
        if (n == 0 || startTime > time()[n - 1])
            return xy;
        if (endTime < 0.0)
            endTime = time()[n - 1];
        const double duration = endTime - startTime;
        if (rate < 0.0) {
            rate = 1000.0 / duration;
            if (std::fabs(std::remainder(rate, 0.02)) < 0.006)
                rate += 0.006;
        }
        const double points = duration * rate;
        if (!(points > 0.0) || !(points < kMaxPoints))
            return xy;
        xy.reserve(2 * static_cast<std::size_t>(points) + 2);
        const double skew = rec->cfg.analogChannels[c].skew;
        std::size_t hint = 0;
        for (double i = 0.0; i < points; i += 1.0) {
            const double t = (i / rate) + startTime;
            const double y = valueAt(v, skew, t, hint);
            xy.push_back(static_cast<float>(t));
            xy.push_back(static_cast<float>(y));
        }
        return xy;
    }

    // BinaryChannel::getPoints: opening point, one per change, closing point.
    std::vector<float> statusPoints(std::size_t c, double startTime, double endTime) const
    {
        std::vector<float> xy;
        const std::uint8_t* s = statusRow(c);
        const double* tm = time();
        const std::size_t n = count();
        if (n == 0)
            return xy;
        if (endTime < 0.0)
            endTime = tm[n - 1];
        const auto add = [&xy](double x, bool state) {
            xy.push_back(static_cast<float>(x));
            xy.push_back(state ? 1.0f : 0.0f);
        };
        bool previous = s[0] != 0;
        bool closing = previous;
        bool first = true;
        bool cut = false;
        for (std::size_t k = 0; k < n; ++k) {
            const bool current = s[k] != 0;
            if (startTime > tm[k]) {
                previous = current;
                continue;
            }
            if (first)
                add(startTime, current);
            if (tm[k] > endTime) {
                add(endTime, current);
                closing = previous;
                cut = true;
                break;
            }
            if (current != previous)
                add(tm[k], current);
            first = false;
            previous = current;
        }
        if (xy.empty())
            return xy;
        if (!cut)
            closing = s[n - 1] != 0;
        if (std::fabs(endTime - static_cast<double>(xy[xy.size() - 2])) > 1e-6)
            add(endTime, closing);
        return xy;
    }

    // An array over the recording's own buffer; the capsule holds the recording.
    py::array share(const py::dtype& dtype, std::vector<py::ssize_t> shape, const void* data) const
    {
        const auto* keep = new std::shared_ptr<ColumnarRecording>(rec);
        py::capsule base(keep, [](void* p) { delete static_cast<std::shared_ptr<ColumnarRecording>*>(p); });
        const auto item = static_cast<py::ssize_t>(dtype.itemsize());
        std::vector<py::ssize_t> strides(shape.size(), item);
        if (shape.size() == 2)
            strides[0] = shape[1] * item;
        return py::array(dtype, std::move(shape), std::move(strides), data, base);
    }
};

// Texts are UTF-8 once the reader has converted them; a field it left as
// the file's bytes (the station line) is decoded with the encoding detected
// for the file, and any other byte string keeps its bytes as surrogates (as
// os.fsdecode does), so nothing raises and nothing is lost.
py::str text(const std::string& s, const std::string& encoding = std::string())
{
    const auto size = static_cast<Py_ssize_t>(s.size());
    if (PyObject* u = PyUnicode_DecodeUTF8(s.data(), size, "strict"))
        return py::reinterpret_steal<py::str>(u);
    PyErr_Clear();
    static const char* const codecs[][2] = {{"cp866", "cp866"}, {"cp1251", "cp1251"}, {"cp1252", "cp1252"},
                                            {"latin-1", "latin-1"}, {"iso-8859-1", "latin-1"},
                                            {"gb18030", "gb18030"}};
    std::string lower;
    for (const char ch : encoding)
        lower.push_back(static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch));
    for (const auto& codec : codecs)
        if (lower == codec[0]) {
            if (PyObject* u = PyUnicode_Decode(s.data(), size, codec[1], "strict"))
                return py::reinterpret_steal<py::str>(u);
            PyErr_Clear();
        }
    PyObject* u = PyUnicode_DecodeUTF8(s.data(), size, "surrogateescape");
    if (!u)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(u);
}

py::list texts(const std::vector<std::string>& list)
{
    py::list out;
    for (const auto& s : list)
        out.append(text(s));
    return out;
}

py::object dateTime(const DateTime& d)
{
    if (!d.valid)
        return py::none();
    return py::make_tuple(d.year, d.month, d.day, d.hour, d.minute, d.second, d.nanosecond);
}

py::array_t<float> pointArray(std::vector<float> xy)
{
    py::array_t<float> out({static_cast<py::ssize_t>(xy.size() / 2), py::ssize_t(2)});
    std::copy(xy.begin(), xy.end(), out.mutable_data());
    return out;
}

// The selection of load() and iter_chunks(): channel names and analog
// indices, and a window (NaN: open).
LoadOptions selectionOptions(const std::string& encoding, bool select, const std::vector<std::string>& names,
                             const std::vector<std::size_t>& analogs, double start, double end, bool fromTrigger)
{
    LoadOptions options;
    options.encoding = encoding;
    options.selectChannels = select;
    options.channelNames = names;
    options.analogIndices = analogs;
    options.windowFrom = start;
    options.windowTo = end;
    options.windowFromTrigger = fromTrigger;
    return options;
}

std::unique_ptr<Data> load(const std::string& path, const std::string& encoding, bool select,
                           const std::vector<std::string>& names, const std::vector<std::size_t>& analogs,
                           double start, double end, bool fromTrigger)
{
    auto data = std::make_unique<Data>();
    const LoadOptions options = selectionOptions(encoding, select, names, analogs, start, end, fromTrigger);
    {
        py::gil_scoped_release unlocked;
        data->result = data->rec->load(path, options);
        const auto& t = data->rec->time;
        data->ordered = std::is_sorted(t.begin(), t.end());
    }
    return data;
}

// Blocks of a ChunkReader. Each block's arrays are handed to NumPy without a
// copy (the block moves into a holder its arrays keep alive), and the reader
// decodes the next one into fresh arrays: a caller that keeps the previous
// block while asking for the next holds two blocks, no more.
class Chunks {
public:
    KivComtradeLib::ChunkReader reader;
    int result = -1;

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

std::unique_ptr<Chunks> chunks(const std::string& path, std::size_t samples, const std::string& encoding, bool select,
                               const std::vector<std::string>& names, const std::vector<std::size_t>& analogs,
                               double start, double end, bool fromTrigger)
{
    auto c = std::make_unique<Chunks>();
    const LoadOptions options = selectionOptions(encoding, select, names, analogs, start, end, fromTrigger);
    py::gil_scoped_release unlocked;
    c->result = c->reader.open(path, samples, options);
    return c;
}

py::dict info(const Data& d)
{
    const auto& cfg = d.rec->cfg;
    const std::string& enc = d.rec->report.encoding;
    py::dict out;
    out["station"] = text(cfg.stationName, enc);
    out["device"] = text(cfg.recDevId, enc);
    out["revision"] = cfg.revYear;
    out["frequency"] = cfg.lineFrequency;
    py::list rates;
    for (const auto& r : cfg.samplingRates)
        rates.append(py::make_tuple(r.rate, r.endSample));
    out["sampling_rates"] = rates;
    out["start"] = dateTime(cfg.start);
    out["trigger"] = dateTime(cfg.trigger);
    out["data_file_type"] = static_cast<int>(cfg.dataFileType);
    out["time_multiplier"] = cfg.timeMultiplier;
    // The fields every channel line has.
    const auto channelDict = [&](const KivComtradeLib::BaseChannelConfig& ch) {
        py::dict c;
        c["name"] = text(ch.channelId, enc);
        c["phase"] = text(ch.phase, enc);
        c["component"] = text(ch.circuitComponent, enc);
        return c;
    };
    py::list analog;
    for (const auto& ch : cfg.analogChannels) {
        py::dict c = channelDict(ch);
        c["unit"] = text(ch.unit, enc);
        c["multiplier"] = ch.multiplier;
        c["a"] = ch.a;
        c["b"] = ch.b;
        c["skew"] = ch.skew;
        c["min"] = ch.min;
        c["max"] = ch.max;
        c["primary"] = ch.primary;
        c["secondary"] = ch.secondary;
        c["ps"] = ch.isSecondary ? "S" : "P";
        analog.append(c);
    }
    out["analog_channels"] = analog;
    py::list status;
    for (const auto& ch : cfg.binaryChannels) {
        py::dict c = channelDict(ch);
        c["normal_state"] = ch.normalState;
        status.append(c);
    }
    out["status_channels"] = status;
    return out;
}

} // namespace

PYBIND11_MODULE(_core, m)
{
    m.doc() = "Native part of kivcomtrade; use the kivcomtrade package.";

    py::class_<Data>(m, "Data")
        .def_readonly("result", &Data::result)
        .def_property_readonly("message", [](const Data& d) { return text(d.rec->report.message); })
        .def_property_readonly("file", [](const Data& d) { return text(d.rec->report.file); })
        .def_property_readonly("warnings", [](const Data& d) { return texts(d.rec->report.warnings); })
        .def_property_readonly("encoding", [](const Data& d) { return d.rec->report.encoding; })
        .def_property_readonly("missing_values", [](const Data& d) { return d.rec->report.missingValues; })
        .def_property_readonly("selection", [](const Data& d) { return text(d.rec->report.selection); })
        .def_property_readonly("first_record", [](const Data& d) { return d.rec->firstRecord; })
        .def_property_readonly("analog_indices", [](const Data& d) { return d.rec->analogChannelIndices; })
        .def_property_readonly("status_indices", [](const Data& d) { return d.rec->statusChannelIndices; })
        .def_property_readonly("file_name", [](const Data& d) { return text(d.rec->fileName); })
        .def_property_readonly("cfg_file_name", [](const Data& d) { return text(d.rec->cfgFileName); })
        .def_property_readonly("dat_file_name", [](const Data& d) { return text(d.rec->datFileName); })
        .def("info", &info)
        .def("arrays",
             [](const Data& d) {
                 const auto& r = *d.rec;
                 const auto n = static_cast<py::ssize_t>(r.count);
                 const auto na = static_cast<py::ssize_t>(r.analogChannelIndices.size());
                 const auto ns = static_cast<py::ssize_t>(r.statusChannelIndices.size());
                 // The row-major shapes below are only right when the vectors
                 // hold exactly that many values.
                 if (r.time.size() != r.count || r.analog.size() != r.count * r.analogChannelIndices.size() ||
                     r.status.size() != r.count * r.statusChannelIndices.size())
                     throw std::runtime_error("recording arrays do not match the channel counts");
                 return py::make_tuple(d.share(py::dtype::of<double>(), {n}, r.time.data()),
                                       d.share(py::dtype::of<double>(), {na, n}, r.analog.data()),
                                       d.share(py::dtype::of<bool>(), {ns, n}, r.status.data()));
             })
        .def("value", &Data::value, py::arg("channel"), py::arg("t"))
        .def("values",
             [](const Data& d, std::size_t c, const py::array_t<double, py::array::c_style | py::array::forcecast>& t) {
                 py::array_t<double> out(t.request().shape);
                 const double* in = t.data();
                 double* o = out.mutable_data();
                 for (py::ssize_t i = 0; i < t.size(); ++i)
                     o[i] = d.value(c, in[i]);
                 return out;
             })
        .def("analog_points",
             [](const Data& d, std::size_t c, double t0, double t1, double rate) {
                 return pointArray(d.analogPoints(c, t0, t1, rate));
             })
        .def("status_points", [](const Data& d, std::size_t c, double t0, double t1) {
            return pointArray(d.statusPoints(c, t0, t1));
        });

    py::class_<Chunks>(m, "Chunks")
        .def_readonly("result", &Chunks::result)
        .def_property_readonly("message", [](const Chunks& c) { return text(c.reader.report.message); })
        .def_property_readonly("file", [](const Chunks& c) { return text(c.reader.report.file); })
        .def_property_readonly("report_result", [](const Chunks& c) { return c.reader.report.result; })
        .def_property_readonly("analog_indices", [](const Chunks& c) { return c.reader.analogChannelIndices; })
        .def_property_readonly("status_indices", [](const Chunks& c) { return c.reader.statusChannelIndices; })
        .def("next", &Chunks::next);

    const double open = std::numeric_limits<double>::quiet_NaN();
    m.def("load", &load, py::arg("path"), py::arg("encoding") = std::string(), py::arg("select") = false,
          py::arg("names") = std::vector<std::string>(), py::arg("analogs") = std::vector<std::size_t>(),
          py::arg("start") = open, py::arg("end") = open, py::arg("from_trigger") = false);
    m.def("chunks", &chunks, py::arg("path"), py::arg("samples"), py::arg("encoding") = std::string(),
          py::arg("select") = false, py::arg("names") = std::vector<std::string>(),
          py::arg("analogs") = std::vector<std::size_t>(), py::arg("start") = open, py::arg("end") = open,
          py::arg("from_trigger") = false);
}
