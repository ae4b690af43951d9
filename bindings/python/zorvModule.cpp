// _zorv: the native part of the package zorv (see zorv/__init__.py).
#include "Pumped.h"

namespace zorvpy {
void bindClient(py::module_& m);
void bindInfodriver(py::module_& m);
}  // namespace zorvpy

PYBIND11_MODULE(_zorv, m) {
    m.doc() = "Native part of the zorv package: the client library on threads of its own.";
    pybind11::register_exception<zorvpy::Refused>(m, "RefusedError", PyExc_ValueError);
    pybind11::register_exception<zorvpy::Disposed>(m, "DisposedError", PyExc_RuntimeError);
    zorvpy::bindClient(m);
    zorvpy::bindInfodriver(m);
}
