# -DSANITIZE=ON builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer (`make sanitize` uses its own build dir).
# Any report ends the process with a failure, so a test that trips one fails.
option(SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

# float-cast-overflow is not part of GCC's "undefined": it catches a NaN or
# out-of-range double converted to an integer, which malformed counts and
# positions invite.
if(SANITIZE)
  set(_sanitizers -fsanitize=address,undefined,float-cast-overflow)
  add_compile_options(${_sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(${_sanitizers})

  # Octave itself is not instrumented, so the runtime has to come first in
  # its library list before a module can load. Octave keeps memory to the
  # end (no leak check); a host allocation it cannot serve returns null, as
  # it does without the sanitizer, instead of ending the process.
  foreach(_lib asan ubsan)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${_lib}.so
                    OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${_path}" OR NOT EXISTS "${_path}")
      message(FATAL_ERROR "SANITIZE: ${CMAKE_CXX_COMPILER} has no lib${_lib}.so")
    endif()
    list(APPEND _preload ${_path})
  endforeach()
  list(JOIN _preload " " _preload)
  set(SANITIZE_HOST_ENVIRONMENT
      "LD_PRELOAD=${_preload}"
      "ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endif()

# Gives the host tests registered so far in the calling directory the
# sanitizer runtime and options.
function(sanitize_host_tests)
  if(NOT SANITIZE)
    return()
  endif()
  get_property(_tests DIRECTORY PROPERTY TESTS)
  foreach(_test IN LISTS _tests)
    if(_test MATCHES "^host\\.")
      set_tests_properties(${_test} PROPERTIES ENVIRONMENT "${SANITIZE_HOST_ENVIRONMENT}")
    endif()
  endforeach()
endfunction()
