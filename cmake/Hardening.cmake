# What Debian's dpkg-buildflags gives a package, applied by our own files so that every build is
# hardened: the scripts', the package's and a plain `cmake -DCMAKE_BUILD_TYPE=Release`.
# Included before any target exists, so the settings reach every one of them.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

# A position-independent program, so the loader can place it anywhere. Qt asks for -fPIC on the
# objects itself; the link still makes a PIE.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
check_pie_supported(OUTPUT_VARIABLE cadrell_pie_message LANGUAGES CXX)
if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
  message(WARNING "This toolchain cannot link position-independent programs: ${cadrell_pie_message}")
endif()

check_cxx_compiler_flag(-fstack-protector-strong CADRELL_HAS_STACK_PROTECTOR)
if(CADRELL_HAS_STACK_PROTECTOR)
  add_compile_options(-fstack-protector-strong)
endif()
add_compile_options(-Wformat -Werror=format-security)
# Full RELRO: the relocations are resolved at start and their table made read-only.
add_link_options(LINKER:-z,relro LINKER:-z,now)

# The checked string and memory functions need an optimised build (glibc warns at -O0), and the
# sanitizers replace those functions with their own, which the checked versions would bypass.
# A flag set that already chooses a level (dpkg-buildflags, a user's CXXFLAGS) keeps its choice.
if(NOT CADRELL_SANITIZE AND NOT CADRELL_FUZZ)
  if(CMAKE_CONFIGURATION_TYPES)
    set(cadrell_configs ${CMAKE_CONFIGURATION_TYPES})
  else()
    set(cadrell_configs ${CMAKE_BUILD_TYPE})
  endif()
  set(cadrell_fortified)
  foreach(config ${cadrell_configs})
    string(TOUPPER "${config}" upper)
    set(flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${upper}}")
    if(flags MATCHES "_FORTIFY_SOURCE")
      continue()
    endif()
    # The last -O option is the one the compiler uses; none at all means no optimisation.
    string(REGEX MATCHALL "(^| )-O[^ ]*" levels "${flags}")
    list(POP_BACK levels level)
    string(STRIP "${level}" level)
    if(level AND NOT level STREQUAL "-O0")
      list(APPEND cadrell_fortified ${config})
    endif()
  endforeach()
  if(cadrell_fortified)
    list(JOIN cadrell_fortified "," cadrell_fortified)
    add_compile_definitions($<$<CONFIG:${cadrell_fortified}>:_FORTIFY_SOURCE=2>)
  endif()
endif()
