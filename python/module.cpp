// kivcomtrade._core: a ColumnarRecording seen from Python. The arrays share
// the recording's vectors (no copy): each array's base is a capsule that
// keeps the recording alive, so the arrays outlive the Python objects that
// made them. Values and point series come from the library's channel
// columns (AnalogColumn, StatusColumn): the code of the C++ views.

#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/LoadResult.h>

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
        return rec->analogRow(c);
    }
    const std::uint8_t* statusRow(std::size_t c) const
    {
        if (c >= rec->cfg.binaryChannels.size())
            throw py::index_error("no status channel " + std::to_string(c));
        return rec->statusRow(c);
    }

    KivComtradeLib::AnalogColumn analogColumn(std::size_t c) const
    {
        analogRow(c);
        return rec->analogColumn(c);
    }

    // A fresh search from the first sample, as a caller with hint 0 gets;
    // NaN where the C++ view gives 0.0 (outside the recorded range).
    double value(std::size_t c, double t) const
    {
        const KivComtradeLib::AnalogColumn column = analogColumn(c);
        if (!column.covers(t))
            return std::numeric_limits<double>::quiet_NaN();
        std::size_t hint = 0;
        if (ordered)
            hint = static_cast<std::size_t>(std::lower_bound(column.time, column.time + column.count, t - column.skew) -
                                            column.time);
        return column.getValue(t, hint);
    }

    std::vector<Kiv::PointF> analogPoints(std::size_t c, double startTime, double endTime, double rate) const
    {
        return analogColumn(c).getPoints(startTime, endTime, rate);
    }

    std::vector<Kiv::PointF> statusPoints(std::size_t c, double startTime, double endTime) const
    {
        statusRow(c);
        return rec->statusColumn(c).getPoints(startTime, endTime);
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

std::unique_ptr<Data> load(const std::string& path, const std::string& encoding)
{
    auto data = std::make_unique<Data>();
    LoadOptions options;
    options.encoding = encoding;
    {
        py::gil_scoped_release unlocked;
        data->result = data->rec->load(path, options);
        const auto& t = data->rec->time;
        data->ordered = std::is_sorted(t.begin(), t.end());
    }
    return data;
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
        .def_property_readonly("file_name", [](const Data& d) { return text(d.rec->fileName); })
        .def_property_readonly("cfg_file_name", [](const Data& d) { return text(d.rec->cfgFileName); })
        .def_property_readonly("dat_file_name", [](const Data& d) { return text(d.rec->datFileName); })
        .def("info", &info)
        .def("arrays",
             [](const Data& d) {
                 const auto& r = *d.rec;
                 const auto n = static_cast<py::ssize_t>(r.count);
                 const auto na = static_cast<py::ssize_t>(r.cfg.analogChannels.size());
                 const auto ns = static_cast<py::ssize_t>(r.cfg.binaryChannels.size());
                 // The row-major shapes below are only right when the vectors
                 // hold exactly that many values.
                 if (r.time.size() != r.count || r.analog.size() != r.count * r.cfg.analogChannels.size() ||
                     r.status.size() != r.count * r.cfg.binaryChannels.size())
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

    py::enum_<KivComtradeLib::LoadResult>(m, "LoadResult")
        .value("Success", KivComtradeLib::LoadResult::Success)
        .value("NotARecordingName", KivComtradeLib::LoadResult::NotARecordingName)
        .value("NoConfigFile", KivComtradeLib::LoadResult::NoConfigFile)
        .value("BadConfigFile", KivComtradeLib::LoadResult::BadConfigFile)
        .value("ConfigRead", KivComtradeLib::LoadResult::ConfigRead)
        .value("NoDataFile", KivComtradeLib::LoadResult::NoDataFile)
        .value("BadDataFile", KivComtradeLib::LoadResult::BadDataFile);
    m.def("load_result_text",
          [](int code) { return std::string(KivComtradeLib::loadResultText(KivComtradeLib::toLoadResult(code))); });

    m.def("load", &load, py::arg("path"), py::arg("encoding") = std::string());
}
