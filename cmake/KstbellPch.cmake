# Precompiled headers for the heavy third-party headers, which every build parses again for each
# source that includes them. A target whose sources mostly include one of these sets calls
#   kstbell_precompile(<target> <set or "<header>">...)
# with the sets below; "<header>" adds one header of its own. Only headers that never change
# belong here: the precompiled file is made once per target and every source starts from it.
# Pays from about three translation units per target; a target with fewer is better off without.
# With the batches of KstbellUnity.cmake, up to 16 sources make one translation unit.
# Targets with the same compile flags can share one precompiled file instead (see
# kstbell_reuse_precompiled below).
# -DKSTBELL_PCH=OFF builds without any.
option(KSTBELL_PCH "Precompile the heavy third-party headers (Qt, GoogleTest, JSON)" ON)

set(KSTBELL_PCH_STD <algorithm> <chrono> <cstdint> <functional> <map> <memory> <optional>
    <string> <string_view> <vector>)
set(KSTBELL_PCH_GTEST <gtest/gtest.h> <gmock/gmock.h>)
set(KSTBELL_PCH_JSON <nlohmann/json.hpp>)
set(KSTBELL_PCH_QT <QApplication> <QLabel> <QLineEdit> <QPainter> <QTimer> <QWidget>)

function(kstbell_precompile target)
  if(NOT KSTBELL_PCH)
    return()
  endif()
  set(headers)
  foreach(item IN LISTS ARGN)
    if(DEFINED KSTBELL_PCH_${item})
      list(APPEND headers ${KSTBELL_PCH_${item}})
    else()
      list(APPEND headers ${item})
    endif()
  endforeach()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()

# target starts from the precompiled headers of donor (which called kstbell_precompile).
function(kstbell_reuse_precompiled target donor)
  if(KSTBELL_PCH)
    target_precompile_headers(${target} REUSE_FROM ${donor})
  endif()
endfunction()
