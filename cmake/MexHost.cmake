# add_mex_module(<name> SOURCES <files...> LINK <targets...>)
# builds <name>.mex into ${CMAKE_BINARY_DIR}/mex for the host chosen by MEX_HOST.
# add_oct_module(<name> SOURCES <files...> LINK <targets...>), for Octave
# only, builds the same gateway sources as the oct-file <name>.oct into
# ${CMAKE_BINARY_DIR}/oct, on Octave's own interface (host/octhost.cpp).
# add_module(...) takes the same arguments and builds every form the host has.
# LINK comes before the host binding on the link line, so a library that
# calls host::Call without naming a host (solver_bind) serves every form.
set(MEX_OUTPUT_DIR ${CMAKE_BINARY_DIR}/mex)
set(OCT_OUTPUT_DIR ${CMAKE_BINARY_DIR}/oct)

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
    set_target_properties(${name}_mex PROPERTIES
      PREFIX "" SUFFIX ".mex" OUTPUT_NAME ${name}
      LIBRARY_OUTPUT_DIRECTORY ${MEX_OUTPUT_DIR})
  endfunction()

  function(add_oct_module name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    add_library(${name}_oct MODULE ${ARG_SOURCES})
    target_link_libraries(${name}_oct PRIVATE ${ARG_LINK} host_oct oct_host_api)
    set_target_properties(${name}_oct PROPERTIES
      PREFIX "" SUFFIX ".oct" OUTPUT_NAME ${name}
      LIBRARY_OUTPUT_DIRECTORY ${OCT_OUTPUT_DIR})
  endfunction()

elseif(MEX_HOST STREQUAL "matlab")
  # Not exercised on the build machine; kept to FindMatlab's standard path.
  find_package(Matlab REQUIRED COMPONENTS MX_LIBRARY)
  add_library(mex_host_api INTERFACE)
  target_include_directories(mex_host_api SYSTEM INTERFACE ${Matlab_INCLUDE_DIRS})
  target_compile_definitions(mex_host_api INTERFACE MEX_HOST_MATLAB)
  find_library(MATLAB_BLAS_LIBRARY NAMES mwblas libmwblas
               HINTS ${Matlab_ROOT_DIR}/bin/glnxa64 ${Matlab_ROOT_DIR}/bin/maci64
                     ${Matlab_ROOT_DIR}/extern/lib/win64/microsoft)
  add_library(mex_host_blas INTERFACE)
  if(MATLAB_BLAS_LIBRARY)
    target_link_libraries(mex_host_blas INTERFACE ${MATLAB_BLAS_LIBRARY})
  endif()

  function(add_mex_module name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    matlab_add_mex(NAME ${name}_mex MODULE SRC ${ARG_SOURCES} OUTPUT_NAME ${name}
                   LINK_TO ${ARG_LINK} host_mex R2017b)
    set_target_properties(${name}_mex PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY ${MEX_OUTPUT_DIR}
      RUNTIME_OUTPUT_DIRECTORY ${MEX_OUTPUT_DIR})
  endfunction()

  # MATLAB has no oct-files.
  set(HOST_HAS_OCT FALSE)

else()
  message(FATAL_ERROR "MEX_HOST must be octave or matlab, not '${MEX_HOST}'")
endif()

function(add_module name)
  add_mex_module(${name} ${ARGN})
  if(HOST_HAS_OCT)
    add_oct_module(${name} ${ARGN})
  endif()
endfunction()
