# add_mex_module(<name> SOURCES <files...> LINK <targets...>)
# builds <name>.mex into ${CMAKE_BINARY_DIR}/mex for the host chosen by MEX_HOST.
set(MEX_OUTPUT_DIR ${CMAKE_BINARY_DIR}/mex)

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
  # The host's BLAS, for modules that call dgemm.
  add_library(mex_host_blas INTERFACE)
  target_link_libraries(mex_host_blas INTERFACE ${_blas_libs})

  function(add_mex_module name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    add_library(${name}_mex MODULE ${ARG_SOURCES})
    target_link_libraries(${name}_mex PRIVATE host_mex mex_host_api ${ARG_LINK})
    set_target_properties(${name}_mex PROPERTIES PREFIX "" SUFFIX ".mex" OUTPUT_NAME ${name})
    _module_output_dir(${name}_mex ${MEX_OUTPUT_DIR})
    _install_module(${name}_mex)
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
                   LINK_TO host_mex ${ARG_LINK} R2017b)
    _module_output_dir(${name}_mex ${MEX_OUTPUT_DIR})
    _install_module(${name}_mex)
  endfunction()

else()
  message(FATAL_ERROR "MEX_HOST must be octave or matlab, not '${MEX_HOST}'")
endif()
