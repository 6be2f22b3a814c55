#pragma once
// The measures of KivComtradeLib/Analysis.h for the module: NumPy arrays out,
// the GIL released while a series is computed. Channel indices are checked
// here (IndexError); times outside the recording give NaN, as in C++.

#include <KivComtradeLib/ColumnarRecording.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <complex>
#include <cstddef>

namespace KivPython {

namespace py = pybind11;

py::array_t<double> rmsSeries(const KivComtradeLib::ColumnarRecording& rec, std::size_t channel);
py::array_t<std::complex<double>> phasorSeries(const KivComtradeLib::ColumnarRecording& rec, std::size_t channel);
std::complex<double> phasorAt(const KivComtradeLib::ColumnarRecording& rec, std::size_t channel, double t);
// (phasors of harmonics 0..order as complex128, THD)
py::tuple harmonicsAt(const KivComtradeLib::ColumnarRecording& rec, std::size_t channel, double t, int order);
// (times, frequencies): one per cycle, float64 each.
py::tuple frequencySeries(const KivComtradeLib::ColumnarRecording& rec, std::size_t channel);
// [(a, b, c), ...]: the analog channel indices of each three-phase group
py::list phaseGroups(const KivComtradeLib::ColumnarRecording& rec);
// Registers sequence(a, b, c) on the module.
void addModuleFunctions(py::module_& m);

} // namespace KivPython
