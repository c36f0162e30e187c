// orvelpacket._core: the Archive type and the functions behind
// orvelpacket.open and orvelpacket.create. Arguments are converted here, with
// the interpreter lock held; every call into the archive runs without it, so
// that threads with one archive each read, add and compact in parallel.
#include <OrvelPacket.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/RemoteArchive.h"
#include "ArchiveCore.h"
#include "Salvage.h"
#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"

namespace py = pybind11;
using orvelpy::Archive;
using orvelpy::LibraryFailure;
using orvelpy::Stamp;
using orvelpy::UsageFailure;

namespace {

// Text from the archive (names, paths): UTF-8 where it is, other bytes kept
// as surrogates, as the os module does with file names.
py::str Text(const std::string& s) {
  PyObject* o = PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "surrogateescape");
  if (!o) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(o);
}

// A name or path given as str (encoded back as Text decodes), bytes or a
// path object (pathlib's paths, os.DirEntry).
std::string Bytes(py::handle given, const char* what) {
  py::object value = py::reinterpret_borrow<py::object>(given);
  if (!PyBytes_Check(value.ptr()) && !PyUnicode_Check(value.ptr())) {
    PyObject* path = PyOS_FSPath(value.ptr());
    if (!path) {
      PyErr_Clear();
      throw py::type_error(std::string(what) + " must be str, bytes or a path object");
    }
    value = py::reinterpret_steal<py::object>(path);
  }
  if (PyBytes_Check(value.ptr())) return std::string(py::reinterpret_borrow<py::bytes>(value));
  PyObject* b = PyUnicode_AsEncodedString(value.ptr(), "utf-8", "surrogateescape");
  if (!b) throw py::error_already_set();
  return std::string(py::reinterpret_steal<py::bytes>(b));
}

// orvelpacket.Error (or the subclass for the code) for a library failure,
// with the library's text for the code and vrk's name of its constant.
// A file of the archive that the system refused, with the system's reason.
struct FileProblem {
  int err = 0;
  std::string file;
};

// The archive a failure's subject ("path" or "path: name") is about: the
// whole subject when no shorter prefix of it is a path on disk.
std::string ArchiveOf(const std::string& subject) {
  if (vrk::IsUrl(subject)) return subject.substr(0, subject.find(": "));
  struct stat st;
  for (size_t at = subject.find(": "); at != std::string::npos; at = subject.find(": ", at + 1))
    if (stat(subject.substr(0, at).c_str(), &st) == 0) return subject.substr(0, at);
  return subject;
}

// Which of the archive's files a failed open, read or write (or a change of
// an archive opened read-only) met, and why.
// The library keeps no errno for a failed open, so the files are looked at:
// the first that is missing, unreadable or a directory. A failed write or
// creation has the library's errno, and the first file that cannot be
// written is named (else the archive).
FileProblem FindFileProblem(const LibraryFailure& f) {
  if (!vrk::IsTransferFailure(f.Code()) && f.Code() != VRKERR_READ_ONLY) return {};
  const std::string archive = ArchiveOf(f.Subject());
  // Over HTTP the library's system error says what the server answered.
  if (vrk::IsUrl(archive)) return f.Code() == VRKERR_READ_ONLY ? FileProblem{} : FileProblem{f.SystemError(), archive};
  const std::vector<std::string> files = vrk::ArchiveDiskFiles(archive, vrk::HasVrkExtension(archive));
  // The library opens for reading only an archive whose files this process
  // may not write: that is the reason to give.
  if (f.Code() == VRKERR_READ_ONLY) {
    for (const std::string& file : files)
      if (access(file.c_str(), W_OK) != 0 && errno != ENOENT) return {errno, file};
    return {};
  }
  if (f.Code() == VRKERR_OPEN_FILE) {
    // The name list is optional: without it an archive opens with no names.
    for (size_t i = 0; i < files.size() && i < 2; ++i) {
      struct stat st;
      if (stat(files[i].c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {EISDIR, files[i]};
      if (access(files[i].c_str(), R_OK) != 0) return {errno, files[i]};
    }
    return {};
  }
  if (f.SystemError() == 0) {
    // A creation that failed before any file was made: the directory.
    std::string dir = vrk::ParentPrefix(archive);
    if (dir.size() > 1) dir.pop_back();  // "dir/" -> "dir", "/" stays
    if (dir.empty()) dir = ".";
    if (f.Code() == VRKERR_CREATE_FILE && access(dir.c_str(), W_OK) != 0) return {errno, dir};
    return {};
  }
  for (const std::string& file : files)
    if (access(file.c_str(), W_OK) != 0 && errno == f.SystemError()) return {errno, file};
  return {f.SystemError(), archive};
}

py::object ErrorObject(const LibraryFailure& f) {
  py::object make = py::module_::import("orvelpacket.errors").attr("_from_library");
  const FileProblem problem = FindFileProblem(f);
  py::object file = problem.file.empty() ? py::object(py::none()) : py::object(Text(problem.file));
  return make(f.Code(), vrk::ErrorName(f.Code()), VrkErrorText(f.Code()), Text(f.Subject()),
              problem.err, file);
}

std::optional<Stamp> StampOf(py::handle value) {
  if (value.is_none()) return std::nullopt;
  auto word = [](py::handle v) {
    const unsigned long long n = py::cast<unsigned long long>(v);
    if (n > 0xFFFFFFFFull) throw py::value_error("stamp halves are 32-bit numbers");
    return static_cast<uint32_t>(n);
  };
  if (py::isinstance<py::int_>(value)) return Stamp{0, word(value)};
  py::tuple t = py::cast<py::tuple>(value);
  if (t.size() != 2) throw py::value_error("a stamp is (high, low) or low");
  return Stamp{word(t[0]), word(t[1])};
}

py::tuple StampTuple(Stamp s) { return py::make_tuple(s.high, s.low); }

// A contiguous buffer of a Python object, released when done.
class BufferView {
 public:
  BufferView(py::handle object, bool writable) {
    if (PyObject_GetBuffer(object.ptr(), &view_, writable ? PyBUF_WRITABLE : PyBUF_SIMPLE) == 0)
      return;
    // As Python's own readinto does, a buffer of the wrong kind is a TypeError.
    if (writable && PyErr_ExceptionMatches(PyExc_BufferError)) {
      PyErr_Clear();
      throw py::type_error("the buffer must be a writable, contiguous bytes-like object");
    }
    throw py::error_already_set();
  }
  ~BufferView() { PyBuffer_Release(&view_); }
  BufferView(const BufferView&) = delete;
  BufferView& operator=(const BufferView&) = delete;
  void* Data() const { return view_.buf; }
  size_t Size() const { return static_cast<size_t>(view_.len); }

 private:
  Py_buffer view_{};
};

// The Python object: the archive, and the blocks of `with archive:`.
struct PyArchive {
  std::unique_ptr<Archive> core;
  std::vector<uint64_t> blocks;
  Archive& operator*() const { return *core; }
};

// `with archive.update():`, a change block that leaves the archive open.
struct ChangeBlock {
  py::object owner;  // keeps the archive alive
  Archive* archive;
  uint64_t token = 0;
  bool entered = false;
};

void AddBytes(PyArchive& a, py::handle name, py::handle data, bool compress, py::handle stamp,
              bool replace) {
  const std::string n = Bytes(name, "name");
  orvelpy::AddOptions options{compress, StampOf(stamp), replace};
  BufferView view(data, false);
  py::gil_scoped_release release;
  (*a).Add(n, view.Data(), view.Size(), options);
}

py::object Read(PyArchive& a, py::handle name) {
  const std::string n = Bytes(name, "name");
  uint32_t size;
  {
    py::gil_scoped_release release;
    size = (*a).SizeOf(n);
  }
  // Read straight into the bytes object; another thread of this archive may
  // replace the file in between, then the read takes its new size.
  for (;;) {
    PyObject* out = PyBytes_FromStringAndSize(nullptr, size);
    if (!out) throw py::error_already_set();
    py::object bytes = py::reinterpret_steal<py::object>(out);
    std::optional<uint32_t> got;
    uint32_t needed = 0;
    {
      py::gil_scoped_release release;
      got = (*a).ReadInto(n, PyBytes_AS_STRING(out), size, &needed);
    }
    if (got && *got == size) return bytes;
    if (got) return py::bytes(PyBytes_AS_STRING(out), *got);
    size = needed;
  }
}

size_t ReadInto(PyArchive& a, py::handle name, py::handle buffer) {
  const std::string n = Bytes(name, "name");
  BufferView view(buffer, true);
  std::optional<uint32_t> got;
  uint32_t needed = 0;
  {
    py::gil_scoped_release release;
    got = (*a).ReadInto(n, view.Data(), view.Size(), &needed);
  }
  if (!got)
    throw py::value_error("the buffer holds " + std::to_string(view.Size()) + " bytes, " + n +
                          " has " + std::to_string(needed));
  return *got;
}

py::list Verify(PyArchive& a) {
  std::vector<std::pair<std::string, LibraryFailure>> damaged;
  {
    py::gil_scoped_release release;
    damaged = (*a).Verify();
  }
  py::list out;
  for (const auto& [name, failure] : damaged) out.append(py::make_tuple(Text(name), ErrorObject(failure)));
  return out;
}

// Runs `f` on the archive without the interpreter lock.
template <class F>
auto Unlocked(PyArchive& a, F f) {
  py::gil_scoped_release release;
  return f(*a);
}

void ExitBlock(Archive& archive, uint64_t token, py::handle excType) {
  py::gil_scoped_release release;
  archive.EndBlock(token, excType.is_none());
}

const char* kArchiveDoc = R"(An open archive, from orvelpacket.open or orvelpacket.create.

Used in a ``with`` statement, the block is one update bracket: leaving it
normally commits every change made inside it, leaving it by an exception
rolls those changes back (earlier commits stay), and either way the archive
is closed. Outside a change block every change commits by itself.
``update()`` gives a change block that leaves the archive open.

An archive may be shared between threads (calls take turns), but threads
with one archive each run in parallel: reads, adds and compaction release
the interpreter lock.)";

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The compiled part of orvelpacket; use the orvelpacket package.";
  if (!orvelpy::InitCompression()) throw py::import_error("the LZO library failed to initialise");

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const LibraryFailure& f) {
      py::object error = ErrorObject(f);
      PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
    } catch (const UsageFailure& f) {
      PyErr_SetString(PyExc_ValueError, f.what());
    }
  });

  using orvelpy::EntryFacts;
  const auto optional = [](bool known, py::object value) { return known ? value : py::none(); };
  py::class_<EntryFacts>(m, "Entry",
                         "One entry of the archive as os.stat tells of a file. Mode, time and "
                         "owner come from vrk's tree record; files it does not know have mode "
                         "0o100644 and no time or owner (None).")
      .def_property_readonly("name", [](const EntryFacts& e) { return Text(e.name); },
                             "The name as spelled on disk.")
      .def_readonly("kind", &EntryFacts::kind,
                    "'file', 'directory', 'symlink', 'hardlink', 'fifo', 'chardev' or 'blockdev'.")
      .def_readonly("st_mode", &EntryFacts::mode, "Type and permission bits, as os.stat's.")
      .def_readonly("st_size", &EntryFacts::size,
                    "A file's size (a hard link's: its file's); a symbolic link's target length.")
      .def_property_readonly("st_mtime",
           [optional](const EntryFacts& e) {
             return optional(e.seconds.has_value(),
                             py::float_(static_cast<double>(e.seconds.value_or(0)) + e.nanoseconds / 1e9));
           },
           "Modification time in seconds since 1970, or None.")
      .def_property_readonly("st_mtime_ns",
           [optional](const EntryFacts& e) {
             return optional(e.seconds.has_value(),
                             py::int_(e.seconds.value_or(0)) * py::int_(1000000000) + py::int_(e.nanoseconds));
           },
           "Modification time in nanoseconds since 1970, or None.")
      .def_property_readonly("st_uid",
           [optional](const EntryFacts& e) { return optional(e.uid.has_value(), py::int_(e.uid.value_or(0))); },
           "Owner's user number, or None.")
      .def_property_readonly("st_gid",
           [optional](const EntryFacts& e) { return optional(e.gid.has_value(), py::int_(e.gid.value_or(0))); },
           "Owner's group number, or None.")
      .def_property_readonly("st_rdev", [](const EntryFacts& e) { return e.device; },
                             "A device's number (0 for other kinds).")
      .def_property_readonly("user",
           [optional](const EntryFacts& e) { return optional(!e.user.empty(), Text(e.user)); },
           "Owner's user name, or None.")
      .def_property_readonly("group",
           [optional](const EntryFacts& e) { return optional(!e.group.empty(), Text(e.group)); },
           "Owner's group name, or None.")
      .def_property_readonly("target",
           [optional](const EntryFacts& e) { return optional(!e.target.empty(), Text(e.target)); },
           "What a symbolic link holds, or the name of the file a hard link shares; else None.")
      .def("is_file", [](const EntryFacts& e) { return e.kind == "file" || e.kind == "hardlink"; },
           "True for files and hard links.")
      .def("is_dir", [](const EntryFacts& e) { return e.kind == "directory"; })
      .def("is_symlink", [](const EntryFacts& e) { return e.kind == "symlink"; })
      .def("__repr__", [](const EntryFacts& e) {
        return "<orvelpacket.Entry " + std::string(py::repr(Text(e.name))) + " " + e.kind + " size=" +
               std::to_string(e.size) + ">";
      });

  py::class_<orvelpy::FileFacts>(m, "FileInfo", "What the archive records about one file.")
      .def_property_readonly("name", [](const orvelpy::FileFacts& f) { return Text(f.name); },
                             "The name as spelled in vrk's tree record, else as it was asked for.")
      .def_readonly("size", &orvelpy::FileFacts::size, "Original size in bytes.")
      .def_readonly("stored_size", &orvelpy::FileFacts::storedSize, "Bytes stored in the archive.")
      .def_readonly("flags", &orvelpy::FileFacts::flags, "The block table's flags word.")
      .def_property_readonly("stamp", [](const orvelpy::FileFacts& f) { return StampTuple(f.stamp); },
                             "Version stamp (high, low) the file was written with.")
      .def_readonly("compressed", &orvelpy::FileFacts::compressed, "Stored LZO1X-compressed.")
      .def("__repr__", [](const orvelpy::FileFacts& f) {
        return py::str("FileInfo(name={!r}, size={}, stored_size={}, compressed={}, stamp={})")
            .format(Text(f.name), f.size, f.storedSize, f.compressed, StampTuple(f.stamp));
      });

  py::class_<orvelpy::ArchiveFacts>(m, "ArchiveStat", "What an archive is and holds.")
      .def_property_readonly("path", [](const orvelpy::ArchiveFacts& s) { return Text(s.path); },
                             "Path the archive was opened with.")
      .def_property_readonly(
          "variant", [](const orvelpy::ArchiveFacts& s) { return s.advanced ? "advanced" : "basic"; },
          "'advanced' or 'basic'.")
      .def_property_readonly("stamp", [](const orvelpy::ArchiveFacts& s) { return StampTuple(s.stamp); },
                             "The archive's version stamp (high, low).")
      .def_readonly("base_version", &orvelpy::ArchiveFacts::baseVersion,
                    "Base version of an advanced archive (0 for basic ones).")
      .def_readonly("flags", &orvelpy::ArchiveFacts::flags, "The header's flags word.")
      .def_readonly("files", &orvelpy::ArchiveFacts::files,
                    "Files in the tables, counting files only a patch added, not the "
                    "archive's own entries.")
      .def_property_readonly(
          "protected", [](const orvelpy::ArchiveFacts& s) { return (s.flags & 6u) != 0; },
          "Tables enciphered (advanced) or scrambled (basic).")
      .def_property_readonly(
          "has_holes", [](const orvelpy::ArchiveFacts& s) { return (s.flags & 1u) != 0; },
          "Space left by removed or replaced files, which compact() reclaims.")
      .def("__repr__", [](const orvelpy::ArchiveFacts& s) {
        return py::str("ArchiveStat(path={!r}, variant={!r}, files={}, stamp={})")
            .format(Text(s.path), s.advanced ? "advanced" : "basic", s.files, StampTuple(s.stamp));
      });

  py::class_<ChangeBlock>(m, "ChangeBlock",
                          "A change block from Archive.update(): one update bracket that commits "
                          "when left normally and rolls back when left by an exception.")
      .def("__enter__",
           [](ChangeBlock& b) {
             if (b.entered) throw py::value_error("a change block is entered once");
             py::gil_scoped_release release;
             b.token = b.archive->BeginBlock();
             b.entered = true;
           },
           "Opens the bracket.")
      .def("__exit__",
           [](ChangeBlock& b, py::handle excType, py::handle, py::handle) {
             if (b.entered) ExitBlock(*b.archive, b.token, excType);
             return false;
           },
           "Commits, or rolls back after an exception.");

  py::class_<PyArchive>(m, "Archive", kArchiveDoc)
      .def_property_readonly("path", [](PyArchive& a) { return Text((*a).Path()); },
                             "Path the archive was opened with.")
      .def_property_readonly("mode", [](PyArchive& a) { return (*a).Writable() ? "a" : "r"; },
                             "'r' (read only) or 'a' (read and change).")
      .def_property_readonly("closed", [](PyArchive& a) { return (*a).Closed(); },
                             "True once the archive is closed.")
      .def("close", [](PyArchive& a) { Unlocked(a, [](Archive& c) { c.Close(); }); },
           "Commits an open change block and releases the archive; later calls raise ValueError.")
      .def("__enter__",
           [](py::object self) {
             PyArchive& a = py::cast<PyArchive&>(self);
             a.blocks.push_back(Unlocked(a, [](Archive& c) { return c.BeginBlock(); }));
             return self;
           },
           "Opens a change block for the `with` statement.")
      .def("__exit__",
           [](PyArchive& a, py::handle excType, py::handle, py::handle) {
             const uint64_t token = a.blocks.empty() ? ~0ull : a.blocks.back();
             if (!a.blocks.empty()) a.blocks.pop_back();
             try {
               ExitBlock(*a, token, excType);
             } catch (...) {
               Unlocked(a, [](Archive& c) { c.Close(); });
               throw;
             }
             Unlocked(a, [](Archive& c) { c.Close(); });
             return false;
           },
           "Commits the block (or rolls it back after an exception) and closes the archive.")
      .def("update",
           [](py::object self) {
             PyArchive& a = py::cast<PyArchive&>(self);
             return ChangeBlock{self, a.core.get()};
           },
           "A change block for `with archive.update():` that leaves the archive open.")
      .def("names",
           [](PyArchive& a) {
             std::vector<std::string> names = Unlocked(a, [](Archive& c) { return c.Names(); });
             py::list out;
             for (const std::string& n : names) out.append(Text(n));
             return out;
           },
           "The names of the files, as a list: as spelled on disk where vrk's tree record "
           "keeps them (hard links included), else as the archive's name list keeps them (in "
           "lower case). Without the archive's own entries (the name list, the tree record, "
           "the aliases it stores names under). Files that only a patch added have no name "
           "in the list and are not listed.")
      .def("__iter__", [](py::object self) { return py::iter(self.attr("names")()); },
           "Iterates over names().")
      .def("__len__",
           [](PyArchive& a) { return Unlocked(a, [](Archive& c) { return c.Names().size(); }); },
           "The number of names().")
      .def("__contains__",
           [](PyArchive& a, py::handle name) {
             std::string n;
             try {
               n = Bytes(name, "name");
             } catch (const py::type_error&) {
               return false;
             }
             return Unlocked(a, [&n](Archive& c) { return c.Contains(n); });
           },
           "True when the archive holds a file of this name: as spelled first, else in any "
           "letter case when that names one file.")
      .def("__getitem__", &Read, py::arg("name"), "Same as read(name).")
      .def("entries",
           [](PyArchive& a) { return Unlocked(a, [](Archive& c) { return c.Entries(); }); },
           "An Entry (os.stat-like: kind, st_mode, st_size, st_mtime, owner, link target) for "
           "every file, directory, link, FIFO and device the tree record keeps, then for the "
           "files it does not know.")
      .def("entry",
           [](PyArchive& a, py::handle name) {
             const std::string n = Bytes(name, "name");
             std::optional<orvelpy::EntryFacts> e =
                 Unlocked(a, [&n](Archive& c) { return c.Entry(n); });
             if (!e) throw LibraryFailure(VRKERR_NOT_FOUND, vrk::ShownUrl((*a).Path()) + ": " + n);
             return *e;
           },
           py::arg("name"),
           "The Entry of one name (a file, directory, link, ...); NotFoundError when none.")
      .def("read", &Read, py::arg("name"),
           "The whole file as bytes (checksums checked in advanced archives). Raises "
           "NotFoundError (a KeyError) when there is no such file.")
      .def("read_into", &ReadInto, py::arg("name"), py::arg("buffer"),
           "Reads the whole file into a writable contiguous buffer (bytearray, memoryview, "
           "array, mmap, ...) without a copy; returns its size. ValueError when the buffer is "
           "smaller than the file.")
      .def("info",
           [](PyArchive& a, py::handle name) {
             const std::string n = Bytes(name, "name");
             return Unlocked(a, [&n](Archive& c) { return c.Info(n); });
           },
           py::arg("name"), "A FileInfo: sizes, flags, stamp, compressed.")
      .def("stat", [](PyArchive& a) { return Unlocked(a, [](Archive& c) { return c.Stat(); }); },
           "An ArchiveStat: variant, stamp, base version, flags, file count.")
      .def("add", &AddBytes, py::arg("name"), py::arg("data"), py::kw_only(),
           py::arg("compress") = true, py::arg("stamp") = py::none(), py::arg("replace") = true,
           "Stores `data` (any bytes-like object) under `name`. compress: LZO1X-999 when that "
           "makes the file smaller, as vrk does; stamp: (high, low) or low, default the "
           "archive's; replace: replace a file of that name, else raise ExistsError.")
      .def("add_file",
           [](PyArchive& a, py::handle name, py::handle path, bool compress, py::handle stamp,
              bool replace) {
             py::object file = py::module_::import("builtins").attr("open")(path, "rb");
             py::object data;
             try {
               data = file.attr("read")();
             } catch (...) {
               file.attr("close")();
               throw;
             }
             file.attr("close")();
             AddBytes(a, name, data, compress, stamp, replace);
           },
           py::arg("name"), py::arg("path"), py::kw_only(), py::arg("compress") = true,
           py::arg("stamp") = py::none(), py::arg("replace") = true,
           "Stores the disk file at `path` under `name`; options as for add(). A file that "
           "cannot be read raises OSError.")
      .def("delete",
           [](PyArchive& a, py::handle name) {
             const std::string n = Bytes(name, "name");
             Unlocked(a, [&n](Archive& c) { c.Delete(n); });
           },
           py::arg("name"), "Removes a file; its space stays until compact().")
      .def("compact", [](PyArchive& a) { Unlocked(a, [](Archive& c) { c.Compact(); }); },
           "Rewrites the archive without the space of removed and replaced files (not inside a "
           "change block).")
      .def_property(
          "stamp", [](PyArchive& a) { return StampTuple(Unlocked(a, [](Archive& c) { return c.GetStamp(); })); },
          [](PyArchive& a, py::handle value) {
            std::optional<Stamp> s = StampOf(value);
            if (!s) throw py::value_error("a stamp is (high, low) or low");
            Unlocked(a, [&s](Archive& c) { c.SetStamp(*s); });
          },
          "The archive's version stamp (high, low); files added later without a stamp carry "
          "it. Setting it (to a tuple or a low half) commits.")
      .def("verify", &Verify,
           "Reads every named file back; returns (name, Error) for each damaged one, an empty "
           "list when all are intact.")
      .def("create_patch",
           [](PyArchive& a) -> py::object {
             std::string path = Unlocked(a, [](Archive& c) { return c.CreatePatch(); });
             return path.empty() ? py::object(py::none()) : py::object(Text(path));
           },
           "Writes the files above the base version to block files and the patch file "
           "NAME.vrx beside the archive; returns its path, or None when no file is newer than "
           "the base version (nothing is written). Advanced archives only.")
      .def("extend_patch",
           [](PyArchive& a) { return Text(Unlocked(a, [](Archive& c) { return c.ExtendPatch(); })); },
           "Adds the files written since the patch file's level to it; returns its path.")
      .def("apply_patch",
           [](PyArchive& a, py::handle path) {
             const std::string p = Bytes(py::module_::import("os").attr("fsencode")(path), "path");
             return Unlocked(a, [&p](Archive& c) { return c.ApplyPatch(p); });
           },
           py::arg("path"),
           "Brings this copy up to the patch's level, level by level (block files beside the "
           "patch file, which may be at an http(s):// URL: then only the entries above this "
           "copy's level are fetched). Returns whether files were written: False when the patch is not "
           "above the copy's level, or when the copy held every file already and only its "
           "stamp was raised.")
      .def("__repr__", [](PyArchive& a) {
        return py::str("<orvelpacket.Archive {!r} mode={!r}{}>")
            .format(Text(vrk::ShownUrl((*a).Path())), (*a).Writable() ? "a" : "r", (*a).Closed() ? " closed" : "");
      });

  m.def(
      "open_archive",
      [](py::bytes path, bool writable) {
        const std::string p = path;
        py::gil_scoped_release release;
        return PyArchive{Archive::Open(p, writable), {}};
      },
      py::arg("path"), py::arg("writable"), "Opens an archive of either variant.");
  m.def(
      "create_archive",
      [](py::bytes path, bool advanced, unsigned tableSize, py::handle stamp, bool protect) {
        const std::string p = path;
        const Stamp s = StampOf(stamp).value_or(Stamp{});
        py::gil_scoped_release release;
        return PyArchive{Archive::Create(p, advanced, tableSize, s, protect), {}};
      },
      py::arg("path"), py::arg("advanced"), py::arg("table_size"), py::arg("stamp"),
      py::arg("protect"), "Creates an archive, replacing one at that path.");
  m.def(
      "salvage_archive",
      [](py::bytes damaged, py::bytes target) {
        const std::string from = damaged;
        const std::string to = target;
        orvelpy::SalvageReport report;
        {
          py::gil_scoped_release release;
          report = orvelpy::Salvage(from, to);
        }
        py::list recovered, lost;
        for (const std::string& name : report.recovered) recovered.append(Text(name));
        for (const auto& [name, reason] : report.lost) lost.append(py::make_tuple(Text(name), reason));
        return py::make_tuple(recovered, lost, report.unreachable);
      },
      py::arg("damaged"), py::arg("target"),
      "Writes the intact files of a damaged advanced archive into a new one.");
}
