# Whether the Python module `tessmark` (python/) is built, and for which interpreter. Included by the
# top-level CMakeLists.txt before any library is defined: the module is a shared object that links
# the static libraries under Tessmark::core, so they are then compiled as position-independent code.
#
#   TESSMARK_PYTHON             AUTO (default): built when pybind11 and a Python that imports numpy
#                               are found; ON: required (configuring fails without them); OFF: not built.
#   TESSMARK_PYTHON_EXECUTABLE  the interpreter to build for, test with and install for. Empty
#                               (default): the first of $TESSMARK_PYTHON (the environment variable
#                               the comparison tool reads too), Python3_EXECUTABLE, every python3 on
#                               the PATH in order, and /usr/bin/python3 that imports numpy.
#   TESSMARK_PYTHON_INSTALL_DIR where `cmake --install` puts the package (relative: under the prefix).
#                               Default lib/pythonX.Y/dist-packages for an interpreter whose own
#                               packages live in dist-packages (Debian's), lib/pythonX.Y/site-packages
#                               otherwise.
#
# Sets TESSMARK_PYTHON_ENABLED, TESSMARK_PYTHON_INTERPRETER (the resolved path) and
# TESSMARK_PYTHON_HAS_PYTEST for python/CMakeLists.txt.

set(TESSMARK_PYTHON AUTO CACHE STRING
    "Build the Python module: AUTO (when pybind11 and a Python with numpy are found), ON, OFF")
set_property(CACHE TESSMARK_PYTHON PROPERTY STRINGS AUTO ON OFF)
set(TESSMARK_PYTHON_EXECUTABLE "" CACHE FILEPATH
    "The Python interpreter the module is built for (empty: the first candidate that imports numpy)")

set(TESSMARK_PYTHON_ENABLED OFF)
set(TESSMARK_PYTHON_HAS_PYTEST OFF)
string(TOUPPER "${TESSMARK_PYTHON}" _tessmark_python_mode)
if(_tessmark_python_mode STREQUAL "AUTO")
  set(_tessmark_python_required OFF)
elseif(TESSMARK_PYTHON)
  set(_tessmark_python_required ON)
else()
  message(STATUS "Python module: off (TESSMARK_PYTHON=${TESSMARK_PYTHON})")
  return()
endif()

# Says why the module is not built: an error when it was asked for, a status line otherwise.
macro(_tessmark_python_unavailable why)
  if(_tessmark_python_required)
    message(FATAL_ERROR "The Python module cannot be built (TESSMARK_PYTHON=${TESSMARK_PYTHON}, "
                        "TESSMARK_PYTHON_EXECUTABLE=${TESSMARK_PYTHON_EXECUTABLE}): ${why}")
  endif()
  message(STATUS "Python module: off (${why})")
  return()
endmacro()

# An extension module loaded into a Python that was not started with the sanitizers' runtime
# (LD_PRELOAD of libasan) cannot run instrumented code: the sanitizer builds leave the module out.
if(TESSMARK_SANITIZE OR TESSMARK_FUZZ)
  _tessmark_python_unavailable("the sanitizer and fuzz builds leave the Python module out")
endif()

if(TESSMARK_PYTHON_EXECUTABLE)
  # An interpreter named by the user must serve: no quiet fallback to building nothing.
  set(_tessmark_python_required ON)
  set(_tessmark_python_candidates "${TESSMARK_PYTHON_EXECUTABLE}")
else()
  set(_tessmark_python_candidates "")
  if(DEFINED ENV{TESSMARK_PYTHON} AND NOT "$ENV{TESSMARK_PYTHON}" STREQUAL "")
    list(APPEND _tessmark_python_candidates "$ENV{TESSMARK_PYTHON}")
  endif()
  if(Python3_EXECUTABLE)
    list(APPEND _tessmark_python_candidates "${Python3_EXECUTABLE}")
  endif()
  string(REPLACE ":" ";" _tessmark_path "$ENV{PATH}")
  foreach(_dir IN LISTS _tessmark_path)
    if(_dir AND EXISTS "${_dir}/python3" AND NOT IS_DIRECTORY "${_dir}/python3")
      list(APPEND _tessmark_python_candidates "${_dir}/python3")
    endif()
  endforeach()
  list(APPEND _tessmark_python_candidates /usr/bin/python3)
endif()

# The first candidate that imports numpy, by the path it reports for itself (so that a launcher
# such as a pyenv shim resolves to the interpreter behind it).
set(TESSMARK_PYTHON_INTERPRETER "")
foreach(_candidate IN LISTS _tessmark_python_candidates)
  execute_process(
    COMMAND "${_candidate}" -c "import sys, numpy; print(sys.executable)"
    RESULT_VARIABLE _status OUTPUT_VARIABLE _resolved ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(_status EQUAL 0 AND _resolved)
    set(TESSMARK_PYTHON_INTERPRETER "${_resolved}")
    break()
  endif()
endforeach()
if(NOT TESSMARK_PYTHON_INTERPRETER)
  list(JOIN _tessmark_python_candidates ", " _tried)
  _tessmark_python_unavailable(
    "no Python that imports numpy (tried: ${_tried}; Debian: python3-numpy, or set TESSMARK_PYTHON_EXECUTABLE)")
endif()

set(Python_EXECUTABLE "${TESSMARK_PYTHON_INTERPRETER}")
find_package(Python 3.8 QUIET COMPONENTS Interpreter Development.Module)
if(NOT Python_FOUND)
  _tessmark_python_unavailable(
    "no development files for ${TESSMARK_PYTHON_INTERPRETER} (Debian: python3-dev)")
endif()
find_package(pybind11 2.6 CONFIG QUIET)
if(NOT pybind11_FOUND)
  _tessmark_python_unavailable("pybind11 is not found (Debian: pybind11-dev)")
endif()

execute_process(
  COMMAND "${TESSMARK_PYTHON_INTERPRETER}" -c "import pytest"
  RESULT_VARIABLE _status OUTPUT_QUIET ERROR_QUIET)
if(_status EQUAL 0)
  set(TESSMARK_PYTHON_HAS_PYTEST ON)
endif()

execute_process(
  COMMAND "${TESSMARK_PYTHON_INTERPRETER}" -c
          "import sysconfig; print(sysconfig.get_path('platlib').rstrip('/').rsplit('/', 1)[-1])"
  RESULT_VARIABLE _status OUTPUT_VARIABLE _site ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT _status EQUAL 0 OR NOT _site STREQUAL "dist-packages")
  set(_site site-packages)
endif()
set(TESSMARK_PYTHON_INSTALL_DIR
    "lib/python${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}/${_site}"
    CACHE PATH "Where cmake --install puts the Python package tessmark (relative: under the prefix)")

set(TESSMARK_PYTHON_ENABLED ON)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
# Position-independent code, but calls within the static libraries bound as in an executable (no
# symbol of theirs is ever interposed), so that the programs' code stays as fast as before.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-fno-semantic-interposition)
endif()
message(STATUS "Python module: built for ${TESSMARK_PYTHON_INTERPRETER} (Python ${Python_VERSION}, "
               "pybind11 ${pybind11_VERSION}), installed into ${TESSMARK_PYTHON_INSTALL_DIR}")
