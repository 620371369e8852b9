# One interface target carries the language level, the warnings and the sanitizer flags for
# every target of the project.
add_library(kstbell_options INTERFACE)
target_compile_features(kstbell_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
if(MSVC)
  target_compile_options(kstbell_options INTERFACE /W4 /permissive- /utf-8
    $<$<BOOL:${KSTBELL_WERROR}>:/WX>)
  target_compile_definitions(kstbell_options INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN)
else()
  target_compile_options(kstbell_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Wnon-virtual-dtor
    $<$<BOOL:${KSTBELL_WERROR}>:-Werror>
    # GCC 12 reports false overlaps in std::string concatenation at -O2 and above (GCC PR
    # 105329).
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)
endif()
target_compile_definitions(kstbell_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CONTEXTLESS_CONNECT QT_NO_KEYWORDS)
# MinGW's ar takes seconds to index an archive of large objects, and ranlib then indexes it
# again: the archive is written without an index (S) and ranlib makes the one it needs.
if(MINGW)
  set(CMAKE_CXX_ARCHIVE_CREATE "<CMAKE_AR> qcS <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_CXX_ARCHIVE_APPEND "<CMAKE_AR> qS <TARGET> <LINK_FLAGS> <OBJECTS>")
endif()
# lld links the many test programs of the debug and sanitizer builds about five times faster than
# the default linker.
find_program(KSTBELL_LLD ld.lld)
if(KSTBELL_LLD AND NOT WIN32 AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_link_options(kstbell_options INTERFACE -fuse-ld=lld)
endif()
if(KSTBELL_SANITIZE)
  target_compile_options(kstbell_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(kstbell_options INTERFACE -fsanitize=address,undefined)
endif()

# The version every program prints, from project().
configure_file(${CMAKE_CURRENT_LIST_DIR}/kstbell_version.h.in
               ${CMAKE_BINARY_DIR}/generated/kstbell_version.h @ONLY)
target_include_directories(kstbell_options INTERFACE ${CMAKE_BINARY_DIR}/generated)
