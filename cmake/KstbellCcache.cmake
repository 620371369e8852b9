# Every compile goes through ccache when it is installed. Its cache lives outside the tree
# (ccache's own default, ~/.cache/ccache). Paths under the repository are hashed relative to it
# and the build folder is not hashed, so clones in other folders and the several build folders
# of one clone (dev, nogui) share hits. The sloppiness lets ccache cache compiles that use a
# precompiled header and the precompiled headers themselves.
# Usage: include(KstbellCcache.cmake) after setting KSTBELL_REPOSITORY_ROOT (default: the
# source folder), before the first target.
if(NOT KSTBELL_REPOSITORY_ROOT)
  set(KSTBELL_REPOSITORY_ROOT ${CMAKE_SOURCE_DIR})
endif()
find_program(KSTBELL_CCACHE ccache)
if(KSTBELL_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env
      CCACHE_BASEDIR=${KSTBELL_REPOSITORY_ROOT} CCACHE_NOHASHDIR=1
      CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
      ${KSTBELL_CCACHE})
endif()
