// kvax._kvax: the grid layer (<kvax/grid.h>) for Python. Thin: each call converts its
// arguments, releases the interpreter lock around the library's work, and hands the
// values over as numpy arrays that own the library's buffer. The package kvax (the
// modules beside this one) gives these calls their Python shape.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <kvax/grid.h>
#include <kvax/version.h>

namespace py = pybind11;

namespace {

// The exception classes: kvax.Error, and below it kvax.DataError (also ValueError) for
// content and kvax.FileError (also OSError) for files that cannot be opened or written.
py::handle error_class, data_error_class, file_error_class;

const char* code_name(kvax::ErrorCode c) {
  switch (c) {
    case kvax::ErrorCode::cannot_open: return "cannot_open";
    case kvax::ErrorCode::read_failed: return "read_failed";
    case kvax::ErrorCode::write_failed: return "write_failed";
    case kvax::ErrorCode::not_sections: return "not_sections";
    case kvax::ErrorCode::wrong_representation: return "wrong_representation";
    case kvax::ErrorCode::cut: return "cut";
    case kvax::ErrorCode::bad_header: return "bad_header";
    case kvax::ErrorCode::bad_record: return "bad_record";
    case kvax::ErrorCode::bad_value: return "bad_value";
    case kvax::ErrorCode::no_such_tag: return "no_such_tag";
    case kvax::ErrorCode::bad_argument: return "bad_argument";
    case kvax::ErrorCode::run_failed: return "run_failed";
  }
  return "unknown";
}

// The Python exception of a kvax::Error: the C++ message, and what it names as attributes.
void raise_error(const kvax::Error& e) {
  const bool file = e.kind() == kvax::ErrorKind::file;
  py::object instance = (file ? file_error_class : data_error_class)(e.what());
  instance.attr("code") = code_name(e.code());
  instance.attr("path") = e.path();
  instance.attr("section") = e.section();
  instance.attr("tag") = e.tag();
  instance.attr("row") = e.row();
  instance.attr("lines") = e.report();
  if (file && e.system_error() != 0) instance.attr("errno") = e.system_error();
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(instance.ptr())), instance.ptr());
}

py::handle new_class(const char* name, const char* doc, py::tuple bases) {
  PyObject* c = PyErr_NewExceptionWithDoc(name, doc, bases.ptr(), nullptr);
  if (!c) throw py::error_already_set();
  return c;  // kept for the life of the process, as the module keeps it
}

py::dtype dtype_of(kvax::Element e) {
  switch (e) {
    case kvax::Element::cmpx: return py::dtype::of<std::complex<float>>();
    case kvax::Element::flag: return py::dtype::of<std::int32_t>();
    case kvax::Element::real: return py::dtype::of<float>();
    case kvax::Element::dble: return py::dtype::of<double>();
    case kvax::Element::log1: return py::dtype::of<bool>();
  }
  throw std::logic_error("element type");
}

kvax::Element element_from(const std::string& word) {
  if (auto e = kvax::element_of_word(word)) return *e;
  throw py::value_error("element type '" + word + "': one of CMPX, FLAG, REAL, DBLE, LOG1");
}

kvax::ReadOptions read_options(std::optional<bool> formatted, std::optional<bool> big_endian,
                               std::optional<int> tag_length) {
  kvax::ReadOptions o;
  if (formatted) o.representation = *formatted ? kvax::Representation::formatted : kvax::Representation::unformatted;
  if (big_endian) o.byte_order = *big_endian ? kvax::ByteOrder::big : kvax::ByteOrder::little;
  o.tag_length = tag_length;
  return o;
}

// numpy's bool takes the bytes 0 and 1 only; LOG1 values are read as stored.
void bytes_to_bool(std::byte* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) p[i] = std::byte{p[i] != std::byte{0}};
}

// The capsule that owns a section's values: the Section itself, kept whole so that a
// write of the same, unchanged array can lend the buffer back without a copy.
constexpr const char* capsule_name = "kvax.Section";

// The section's LOG1 bytes are 0 and 1 already (bytes_to_bool).
py::array values_array(kvax::Section&& s) {
  auto* owned = new kvax::Section(std::move(s));
  py::capsule base(owned, capsule_name,
                   [](PyObject* c) { delete static_cast<kvax::Section*>(PyCapsule_GetPointer(c, capsule_name)); });
  const auto k = static_cast<py::ssize_t>(std::max(owned->k, 0));
  const auto l = static_cast<py::ssize_t>(std::max(owned->l, 0));
  return py::array(dtype_of(owned->element), {l, k}, {}, owned->values.data(), base);
}

py::object tag_of(kvax::Element e, const std::string& tag) {
  return e == kvax::Element::cmpx ? py::object(py::str(tag)) : py::object(py::none());
}
py::object version_of(kvax::Element e, int version) {
  return e == kvax::Element::cmpx ? py::object(py::int_(version)) : py::object(py::none());
}

py::tuple describe(const std::string& path, std::optional<bool> formatted, std::optional<bool> big_endian,
                   std::optional<int> tag_length) {
  kvax::FileInfo info;
  {
    py::gil_scoped_release unlocked;
    info = kvax::describe(path, read_options(formatted, big_endian, tag_length));
  }
  return py::make_tuple(info.representation == kvax::Representation::formatted,
                        info.byte_order == kvax::ByteOrder::big, info.tag_length);
}

py::list list_sections(const std::string& path, std::optional<bool> formatted, std::optional<bool> big_endian,
                       std::optional<int> tag_length) {
  std::vector<kvax::SectionInfo> heads;
  {
    py::gil_scoped_release unlocked;
    heads = kvax::list_sections(path, read_options(formatted, big_endian, tag_length));
  }
  py::list out;
  for (const auto& h : heads)
    out.append(py::make_tuple(h.index, std::string(kvax::element_word(h.element)), std::string(1, h.grid),
                              tag_of(h.element, h.tag), version_of(h.element, h.version), h.k, h.l, h.offset));
  return out;
}

py::list read_sections(const std::string& path, std::optional<bool> formatted, std::optional<bool> big_endian,
                       std::optional<int> tag_length, std::optional<std::string> tag) {
  std::vector<kvax::Section> sections;
  {
    py::gil_scoped_release unlocked;
    const auto options = read_options(formatted, big_endian, tag_length);
    if (tag)
      sections.push_back(kvax::read_section(path, *tag, options));
    else
      sections = kvax::read_sections(path, options);
    for (auto& s : sections)
      if (s.element == kvax::Element::log1) bytes_to_bool(s.values.data(), s.values.size());
  }
  py::list out;
  for (auto& s : sections) {
    const kvax::Element e = s.element;
    py::str grid(std::string(1, s.grid));
    py::object t = tag_of(e, s.tag), v = version_of(e, s.version);
    out.append(py::make_tuple(std::string(kvax::element_word(e)), grid, t, v, values_array(std::move(s))));
  }
  return out;
}

// Rows first .. first + count - 1 (0 for row 1) of section `index` (1 for the first), read
// into a new array of (count, K) values; and the rows the reader read from the file.
py::tuple read_rows(const std::string& path, std::optional<bool> formatted, std::optional<bool> big_endian,
                    std::optional<int> tag_length, int index, int first, int count) {
  bool found = false;
  kvax::SectionReader reader = [&] {
    py::gil_scoped_release unlocked;
    kvax::SectionReader r(path, read_options(formatted, big_endian, tag_length));
    while (!found && r.next()) found = r.header().index == index;
    return r;
  }();
  if (!found) throw kvax::Error(kvax::ErrorCode::bad_argument, path, "no section " + std::to_string(index));
  const kvax::SectionInfo& h = reader.header();
  py::array rows(dtype_of(h.element), {static_cast<py::ssize_t>(std::max(count, 0)), static_cast<py::ssize_t>(h.k)});
  auto* dst = static_cast<std::byte*>(rows.mutable_data());
  const std::size_t n = static_cast<std::size_t>(rows.nbytes());
  {
    py::gil_scoped_release unlocked;
    reader.read_rows(first + 1, count, std::span<std::byte>(dst, n));
    if (h.element == kvax::Element::log1) bytes_to_bool(dst, n);
  }
  return py::make_tuple(rows, reader.rows_read());
}

// A section to write, from (element, grid, tag, version, values): the values lent by the
// section they were read into when they are its unchanged buffer, copied otherwise.
struct Lent {
  kvax::Section* owner = nullptr;  // the section lending its buffer, given back at the end
  py::array values;                // kept alive until then; copied from when nothing is lent
};

kvax::Section section_from(py::handle item, Lent& lent) {
  const auto t = item.cast<py::tuple>();
  kvax::Section s;
  s.element = element_from(t[0].cast<std::string>());
  const auto grid = t[1].cast<std::string>();
  if (grid.size() != 1) throw py::value_error("grid letter '" + grid + "': one character");
  s.grid = grid[0];
  if (s.element == kvax::Element::cmpx) {
    s.tag = t[2].cast<std::string>();
    s.version = t[3].cast<int>();
  }
  lent.values = py::array::ensure(t[4], py::array::c_style);
  if (!lent.values || lent.values.ndim() != 2 || !lent.values.dtype().is(dtype_of(s.element)))
    throw py::value_error("values of a " + std::string(kvax::element_word(s.element)) +
                          " section: a 2-D array of its dtype");
  s.l = static_cast<int>(lent.values.shape(0));
  s.k = static_cast<int>(lent.values.shape(1));
  py::handle base = lent.values.base();
  if (base && PyCapsule_IsValid(base.ptr(), capsule_name)) {
    auto* owner = static_cast<kvax::Section*>(PyCapsule_GetPointer(base.ptr(), capsule_name));
    if (owner->values.data() == lent.values.data() && owner->values.size() == static_cast<std::size_t>(lent.values.nbytes())) {
      s.values = std::move(owner->values);
      lent.owner = owner;
    }
  }
  return s;
}

void write_sections(const std::string& path, const py::list& items, bool formatted, bool big_endian,
                    std::optional<int> tag_length) {
  std::vector<kvax::Section> sections;
  std::vector<Lent> lent(items.size());
  sections.reserve(items.size());
  // Whatever happens, each lent buffer goes back to the section it came from.
  struct GiveBack {
    std::vector<kvax::Section>& sections;
    std::vector<Lent>& lent;
    ~GiveBack() {
      for (std::size_t i = 0; i < sections.size(); ++i)
        if (lent[i].owner) lent[i].owner->values = std::move(sections[i].values);
    }
  } give_back{sections, lent};
  for (std::size_t i = 0; i < items.size(); ++i) sections.push_back(section_from(items[i], lent[i]));
  // Declared after give_back and lent: the lock is taken again before they are undone.
  py::gil_scoped_release unlocked;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (lent[i].owner) continue;
    kvax::Section& s = sections[i];
    s.values = kvax::ValueBuffer(static_cast<std::size_t>(lent[i].values.nbytes()));
    if (s.values.size()) std::memcpy(s.values.data(), lent[i].values.data(), s.values.size());
  }
  kvax::write_sections(path, sections, {.formatted = formatted, .big_endian = big_endian, .tag_length = tag_length});
}

// The converter's run in this process: (status, report lines, fatal report). The run uses
// the library's global state: one at a time.
py::tuple run(const std::vector<std::string>& args) {
  static std::mutex one_run;
  kvax::RunResult r;
  {
    py::gil_scoped_release unlocked;
    std::lock_guard lock(one_run);
    r = kvax::run_kvax(args);
  }
  return py::make_tuple(r.status, r.lines, r.error_report);
}

}  // namespace

PYBIND11_MODULE(_kvax, m) {
  m.doc() = "kvax grid files: the C++ layer under the package kvax";
  m.attr("__version__") = KVAX_VERSION_STRING;

  error_class = new_class("kvax.Error", "A kvax grid file could not be read or written.",
                          py::make_tuple(py::handle(PyExc_Exception)));
  data_error_class = new_class("kvax.DataError", "The file holds what cannot be read as sections (also a ValueError).",
                               py::make_tuple(error_class, py::handle(PyExc_ValueError)));
  file_error_class = new_class("kvax.FileError", "The file cannot be opened, read or written (also an OSError).",
                               py::make_tuple(error_class, py::handle(PyExc_OSError)));
  m.attr("Error") = error_class;
  m.attr("DataError") = data_error_class;
  m.attr("FileError") = file_error_class;
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const kvax::Error& e) {
      raise_error(e);
    }
  });

  using py::arg;
  m.def("describe", &describe, arg("path"), arg("formatted"), arg("big_endian"), arg("tag_length"));
  m.def("list_sections", &list_sections, arg("path"), arg("formatted"), arg("big_endian"), arg("tag_length"));
  m.def("read_sections", &read_sections, arg("path"), arg("formatted"), arg("big_endian"), arg("tag_length"),
        arg("tag"));
  m.def("read_rows", &read_rows, arg("path"), arg("formatted"), arg("big_endian"), arg("tag_length"), arg("index"),
        arg("first"), arg("count"));
  m.def("write_sections", &write_sections, arg("path"), arg("sections"), arg("formatted"), arg("big_endian"),
        arg("tag_length"));
  m.def("run", &run, arg("args"));
}
