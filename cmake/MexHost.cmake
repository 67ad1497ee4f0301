# add_mex_module(<name> SOURCES <files...> LINK <targets...>)
# builds <name>.mex into ${CMAKE_BINARY_DIR}/mex for the host chosen by MEX_HOST.
# add_oct_module(<name> SOURCES <files...> LINK <targets...>), for Octave
# only, builds the same gateway sources as the oct-file <name>.oct into
# ${CMAKE_BINARY_DIR}/oct, on Octave's own interface (host/octhost.cpp).
# add_module(...) takes the same arguments and builds every form the host has.
set(MEX_OUTPUT_DIR ${CMAKE_BINARY_DIR}/mex)
set(OCT_OUTPUT_DIR ${CMAKE_BINARY_DIR}/oct)

set(MODULE_INSTALL_DIR sparsekernels CACHE STRING
    "Folder under CMAKE_INSTALL_PREFIX that `cmake --install` fills with the toolbox")

# A generator expression keeps multi-config generators (Visual Studio,
# Xcode) from adding a per-configuration folder: every build lands in <dir>.
# A module is a library on Unix and a DLL (runtime output) on Windows.
function(_module_output_dir target dir)
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY $<1:${dir}>
    RUNTIME_OUTPUT_DIRECTORY $<1:${dir}>)
endfunction()

# Writes help/<name>.m, less its comment signs and with the version filled
# in, as a C++ string literal to <build>/helptext/<name>_help.inc; sets
# <out> to that file, or to nothing when the module has no help file.
function(_help_text name out)
  set(src ${CMAKE_SOURCE_DIR}/help/${name}.m)
  set(${out} "" PARENT_SCOPE)
  if(NOT EXISTS ${src})
    return()
  endif()
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${src})
  file(READ ${src} text)
  string(CONFIGURE "${text}" text @ONLY)
  string(REGEX REPLACE "(^|\n)%" "\\1" text "${text}")
  set(inc ${CMAKE_BINARY_DIR}/helptext/${name}_help.inc)
  file(CONFIGURE OUTPUT ${inc} CONTENT "R\"help_text(@text@)help_text\"\n" @ONLY)
  set(${out} ${inc} PARENT_SCOPE)
endfunction()

function(_install_module target)
  install(TARGETS ${target} LIBRARY DESTINATION ${MODULE_INSTALL_DIR}
                            RUNTIME DESTINATION ${MODULE_INSTALL_DIR})
endfunction()

if(MEX_HOST STREQUAL "octave")
  find_program(MKOCTFILE_EXECUTABLE NAMES mkoctfile REQUIRED)
  function(_octave_config var out)
    execute_process(COMMAND ${MKOCTFILE_EXECUTABLE} -p ${var}
                    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE
                    COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(value UNIX_COMMAND "${value}")
    set(${out} "${value}" PARENT_SCOPE)
  endfunction()
  _octave_config(INCFLAGS _inc_flags)
  _octave_config(OCTLIBDIR _lib_dir)
  _octave_config(OCTAVE_LIBS _libs)
  _octave_config(BLAS_LIBS _blas_libs)
  set(_inc_dirs "")
  foreach(flag IN LISTS _inc_flags)
    string(REGEX REPLACE "^-I" "" dir "${flag}")
    list(APPEND _inc_dirs "${dir}")
  endforeach()
  add_library(mex_host_api INTERFACE)
  target_include_directories(mex_host_api SYSTEM INTERFACE ${_inc_dirs})
  target_compile_definitions(mex_host_api INTERFACE MEX_HOST_OCTAVE)
  target_link_directories(mex_host_api INTERFACE ${_lib_dir})
  target_link_libraries(mex_host_api INTERFACE ${_libs})
  target_link_options(mex_host_api INTERFACE -Wl,-Bsymbolic)
  # Octave's own interface: the same headers and libraries; HOST_OCT picks
  # the oct-file entry point in host/module.hpp.
  add_library(oct_host_api INTERFACE)
  target_link_libraries(oct_host_api INTERFACE mex_host_api)
  target_compile_definitions(oct_host_api INTERFACE HOST_OCT)
  set(HOST_HAS_OCT TRUE)
  # The host's BLAS, for modules that call dgemm.
  add_library(mex_host_blas INTERFACE)
  target_link_libraries(mex_host_blas INTERFACE ${_blas_libs})

  function(add_mex_module name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    add_library(${name}_mex MODULE ${ARG_SOURCES})
    target_link_libraries(${name}_mex PRIVATE ${ARG_LINK} host_mex mex_host_api)
    set_target_properties(${name}_mex PROPERTIES PREFIX "" SUFFIX ".mex" OUTPUT_NAME ${name})
    _module_output_dir(${name}_mex ${MEX_OUTPUT_DIR})
  endfunction()

  function(add_oct_module name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    add_library(${name}_oct MODULE ${ARG_SOURCES})
    target_link_libraries(${name}_oct PRIVATE ${ARG_LINK} host_oct oct_host_api)
    set_target_properties(${name}_oct PROPERTIES PREFIX "" SUFFIX ".oct" OUTPUT_NAME ${name})
    _module_output_dir(${name}_oct ${OCT_OUTPUT_DIR})
    # Octave shows an oct-file's own text for `help`, never a file beside
    # it: the module's help text is compiled in.
    _help_text(${name} _inc)
    if(_inc)
      target_include_directories(${name}_oct PRIVATE ${CMAKE_BINARY_DIR}/helptext)
      target_compile_definitions(${name}_oct PRIVATE HOST_HELP_FILE="${name}_help.inc")
    endif()
  endfunction()

elseif(MEX_HOST STREQUAL "matlab")
  # Configured, compiled and linked in CI against a stand-in tree
  # (tests/matlab/standin-tree.sh); never run in MATLAB here.
  find_package(Matlab REQUIRED COMPONENTS MX_LIBRARY)
  # Every target that includes mex.h (host_mex as much as the modules)
  # compiles against the same API release that matlab_add_mex selects below.
  add_library(mex_host_api INTERFACE)
  target_include_directories(mex_host_api SYSTEM INTERFACE ${Matlab_INCLUDE_DIRS})
  target_compile_definitions(mex_host_api INTERFACE
    MEX_HOST_MATLAB MATLAB_MEX_FILE MATLAB_DEFAULT_RELEASE=R2017b)
  target_link_libraries(mex_host_api INTERFACE ${Matlab_MEX_LIBRARY} ${Matlab_MX_LIBRARY})
  find_library(MATLAB_BLAS_LIBRARY NAMES mwblas libmwblas NO_DEFAULT_PATH
               HINTS ${Matlab_ROOT_DIR}/bin/glnxa64 ${Matlab_ROOT_DIR}/bin/maci64
                     ${Matlab_ROOT_DIR}/bin/maca64 ${Matlab_ROOT_DIR}/extern/lib/win64/microsoft)
  if(NOT MATLAB_BLAS_LIBRARY)
    message(FATAL_ERROR "MATLAB's BLAS (libmwblas) was not found under ${Matlab_ROOT_DIR} "
      "(bin/glnxa64, bin/maci64, bin/maca64 or extern/lib/win64/microsoft); gramprod and "
      "slopemask need it. Point Matlab_ROOT_DIR at a full MATLAB installation, or set "
      "MATLAB_BLAS_LIBRARY to the library.")
  endif()
  add_library(mex_host_blas INTERFACE)
  target_link_libraries(mex_host_blas INTERFACE ${MATLAB_BLAS_LIBRARY})

  function(add_mex_module name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    matlab_add_mex(NAME ${name}_mex MODULE SRC ${ARG_SOURCES} OUTPUT_NAME ${name}
                   LINK_TO ${ARG_LINK} host_mex R2017b)
    _module_output_dir(${name}_mex ${MEX_OUTPUT_DIR})
  endfunction()

  # MATLAB has no oct-files.
  set(HOST_HAS_OCT FALSE)

else()
  message(FATAL_ERROR "MEX_HOST must be octave or matlab, not '${MEX_HOST}'")
endif()

# One form is installed: the oct-file where there is one (Octave prefers it
# anyway), else the MEX module.
function(add_module name)
  add_mex_module(${name} ${ARGN})
  if(HOST_HAS_OCT)
    add_oct_module(${name} ${ARGN})
    _install_module(${name}_oct)
  else()
    _install_module(${name}_mex)
  endif()
endfunction()
