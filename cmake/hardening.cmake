# Hardening of everything built here: the flags Debian's dpkg-buildflags gives
# with hardening=+all. Fortified libc calls, a stack protector and stack-clash
# probes, control-flow protection where the compiler has it, position-
# independent executables, and relocations resolved at start and then made
# read-only (-z relro -z now). hostlink parses device frames and runs with a
# capability, so it matters most there.
#
# The sanitizer build (-fsanitize in the flags) keeps all but _FORTIFY_SOURCE:
# its instrumentation takes the place of the libc calls _FORTIFY_SOURCE would
# check. TOOLSET_FORTIFIED is 1 only where _FORTIFY_SOURCE is added; the
# package tests get it as FORTIFIED, so the sanitizer build's package is
# checked for all the hardening but fortified calls (FORTIFIED=0).
# -DTOOLSET_HARDENING=OFF leaves everything out anywhere.
option(TOOLSET_HARDENING "Build with the hardening flags" ON)
set(TOOLSET_FORTIFIED 0)
if(TOOLSET_HARDENING)
  include(CheckCXXCompilerFlag)
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  # _FORTIFY_SOURCE works on optimised code only; a Debug build would warn.
  if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    set(TOOLSET_FORTIFIED 1)
  endif()
  foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "TOOLSET_HAS${flag}" supported)
    check_cxx_compiler_flag(${flag} ${supported})
    if(${supported})
      add_compile_options(${flag})
    endif()
  endforeach()
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
