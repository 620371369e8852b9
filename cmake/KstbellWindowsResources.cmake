# Version information for the Windows programs, and the program icon when the build is given
# one: KSTBELL_WINDOWS_ICON names a .ico file (scripts/build-windows makes it from the icon
# that kstbell-icons draws; a cross build cannot run that tool itself).
enable_language(RC)

set(KSTBELL_PUBLISHER "The kstbell developers")
set(KSTBELL_COPYRIGHT "Copyright 2026 The kstbell developers, MIT licence")
set(KSTBELL_WINDOWS_ICON "" CACHE FILEPATH "The program icon (.ico) for the Windows programs")
if(KSTBELL_WINDOWS_ICON AND NOT EXISTS "${KSTBELL_WINDOWS_ICON}")
  message(FATAL_ERROR "KSTBELL_WINDOWS_ICON: no file ${KSTBELL_WINDOWS_ICON}")
endif()

# Adds to target a resource with its name, its description and the project's version.
function(kstbell_windows_resource target description)
  if(NOT TARGET ${target})
    return()
  endif()
  set(KSTBELL_RC_NAME ${target})
  set(KSTBELL_RC_DESCRIPTION "${description}")
  set(KSTBELL_RC_ICON_LINE "")
  if(KSTBELL_WINDOWS_ICON)
    set(KSTBELL_RC_ICON_LINE "1 ICON \"${KSTBELL_WINDOWS_ICON}\"")
  endif()
  set(rc ${CMAKE_BINARY_DIR}/generated/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows_resource.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

kstbell_windows_resource(kstbell "kstbell, for a networked Wi-Fi alarm horn")
kstbell_windows_resource(kstbell-sim "kstbell-sim, a simulated alarm horn")
kstbell_windows_resource(kstbellctl "kstbellctl, the alarm horn's command line")
