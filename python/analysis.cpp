#include "analysis.h"

#include <KivComtradeLib/Analysis.h>

#include <algorithm>
#include <string>
#include <vector>

namespace KivPython {

namespace Analysis = KivComtradeLib::Analysis;
using Analysis::Phasor;

namespace {

Analysis::Signal signalOf(const KivComtradeLib::ColumnarRecording& rec, std::size_t channel)
{
    if (channel >= rec.cfg.analogChannels.size())
        throw py::index_error("no analog channel " + std::to_string(channel));
    return Analysis::channelSignal(rec, channel);
}

} // namespace

py::array_t<double> rmsSeries(const KivComtradeLib::ColumnarRecording& rec, std::size_t channel)
{
    const Analysis::Signal signal = signalOf(rec, channel);
    py::array_t<double> out(static_cast<py::ssize_t>(signal.count));
    double* data = out.mutable_data();
    py::gil_scoped_release unlocked;
    Analysis::rmsSeries(signal, data);
    return out;
}

py::array_t<std::complex<double>> phasorSeries(const KivComtradeLib::ColumnarRecording& rec, std::size_t channel)
{
    const Analysis::Signal signal = signalOf(rec, channel);
    py::array_t<std::complex<double>> out(static_cast<py::ssize_t>(signal.count));
    Phasor* data = out.mutable_data();
    py::gil_scoped_release unlocked;
    Analysis::phasorSeries(signal, data);
    return out;
}

std::complex<double> phasorAt(const KivComtradeLib::ColumnarRecording& rec, std::size_t channel, double t)
{
    return Analysis::phasor(signalOf(rec, channel), t);
}

py::tuple harmonicsAt(const KivComtradeLib::ColumnarRecording& rec, std::size_t channel, double t, int order)
{
    const Analysis::Harmonics h = Analysis::harmonics(signalOf(rec, channel), t, order);
    py::array_t<std::complex<double>> phasors(static_cast<py::ssize_t>(h.phasor.size()));
    std::copy(h.phasor.begin(), h.phasor.end(), phasors.mutable_data());
    return py::make_tuple(phasors, h.thd);
}

py::tuple frequencySeries(const KivComtradeLib::ColumnarRecording& rec, std::size_t channel)
{
    const Analysis::Signal signal = signalOf(rec, channel);
    std::vector<Analysis::FrequencyPoint> points;
    {
        py::gil_scoped_release unlocked;
        points = Analysis::frequencySeries(signal);
    }
    py::array_t<double> times(static_cast<py::ssize_t>(points.size()));
    py::array_t<double> hz(static_cast<py::ssize_t>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        times.mutable_data()[i] = points[i].time;
        hz.mutable_data()[i] = points[i].frequency;
    }
    return py::make_tuple(times, hz);
}

py::list phaseGroups(const KivComtradeLib::ColumnarRecording& rec)
{
    py::list out;
    for (const Analysis::PhaseGroup& g : Analysis::phaseGroups(rec.cfg))
        out.append(py::make_tuple(g.channels[0], g.channels[1], g.channels[2]));
    return out;
}

void addModuleFunctions(py::module_& m)
{
    using Array = py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>;
    m.def(
        "sequence",
        [](const Array& a, const Array& b, const Array& c) {
            std::vector<py::ssize_t> shape(a.shape(), a.shape() + a.ndim());
            for (const Array* other : {&b, &c})
                if (std::vector<py::ssize_t>(other->shape(), other->shape() + other->ndim()) != shape)
                    throw py::value_error("sequence() needs three phasors, or three arrays of one shape");
            Array zero(shape), positive(shape), negative(shape);
            const Phasor *pa = a.data(), *pb = b.data(), *pc = c.data();
            Phasor *z = zero.mutable_data(), *p = positive.mutable_data(), *n = negative.mutable_data();
            for (py::ssize_t i = 0; i < a.size(); ++i) {
                const Analysis::SequenceComponents s = Analysis::sequence(pa[i], pb[i], pc[i]);
                z[i] = s.zero, p[i] = s.positive, n[i] = s.negative;
            }
            return py::make_tuple(zero, positive, negative);
        },
        py::arg("a"), py::arg("b"), py::arg("c"));
}

} // namespace KivPython
