# What the Debian package holds besides the programs, and how CPack builds it:
#   cmake --preset package && cmake --build --preset package && cpack --config build/package/CPackConfig.cmake
# scripts/package does that and checks the result.
set(KSTBELL_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(KSTBELL_GENERATED ${CMAKE_BINARY_DIR}/packaging)
set(KSTBELL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kstbell)

# Man pages and the changelog, compressed the way Debian wants them (no name, no time stamp).
function(kstbell_gzip source target)
  add_custom_command(OUTPUT ${target}
    COMMAND gzip -9nc ${source} > ${target}
    DEPENDS ${source} VERBATIM)
  list(APPEND KSTBELL_GZIPPED ${target})
  set(KSTBELL_GZIPPED ${KSTBELL_GZIPPED} PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${KSTBELL_GENERATED}/man)
set(KSTBELL_GZIPPED)
foreach(page kstbell kstbell-sim kstbellctl kstbell-bridge kstbelld)
  if(EXISTS ${PROJECT_SOURCE_DIR}/docs/man/${page}.1)
    kstbell_gzip(${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${KSTBELL_GENERATED}/man/${page}.1.gz)
    install(FILES ${KSTBELL_GENERATED}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
kstbell_gzip(${KSTBELL_PACKAGING}/changelog ${KSTBELL_GENERATED}/changelog.gz)
add_custom_target(kstbell_packaging_files ALL DEPENDS ${KSTBELL_GZIPPED})

install(FILES ${KSTBELL_GENERATED}/changelog.gz ${KSTBELL_PACKAGING}/copyright
        DESTINATION ${KSTBELL_DOC_DIR})
install(FILES ${KSTBELL_PACKAGING}/${KSTBELL_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KSTBELL_PACKAGING}/${KSTBELL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${KSTBELL_PACKAGING}/kstbellctl.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kstbellctl)
# The bridge as a system service, and its example configuration.
install(FILES ${PROJECT_SOURCE_DIR}/bridge/kstbell-bridge.service DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/bridge/kstbell-bridge.example.toml
        DESTINATION ${KSTBELL_DOC_DIR}/examples RENAME bridge.toml)
# The site service as a system service, and its annotated site file.
install(FILES ${PROJECT_SOURCE_DIR}/service/kstbelld.service DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/service/site.example.toml
        DESTINATION ${KSTBELL_DOC_DIR}/examples RENAME site.toml)
# The folder for the horns' lock files, shared by every local user, made at boot and, by the
# postinst, at installation.
install(FILES ${KSTBELL_PACKAGING}/kstbell.tmpfiles DESTINATION lib/tmpfiles.d RENAME kstbell.conf)
# The web page the site service serves (HTML, CSS, scripts and its icon: no build step).
install(DIRECTORY ${PROJECT_SOURCE_DIR}/web/page/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kstbell/web
        FILES_MATCHING PATTERN "*.html" PATTERN "*.css" PATTERN "*.js" PATTERN "*.svg")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kstbell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The kstbell developers <dev@kstbell.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kstbell.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "operate networked Wi-Fi alarm horns\n\
kstbell monitors, switches and configures a networked Wi-Fi alarm horn with a\n\
relay output, four tones and one digital input: a desktop program for one\n\
horn, kstbellctl for scripts and whole sites with JSON output, kstbell-bridge\n\
for home and building automation over MQTT, kstbelld, the site service that\n\
rings a calendar's bells and alarms with rings that always end and keeps an\n\
audit log, and kstbell-sim, a simulated horn that gives everything without\n\
hardware.")
# The window needs a platform plugin, which no library dependency names; the Wi-Fi check loads
# libsystemd only when it runs, so no program names it either.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libsystemd0")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KSTBELL_PACKAGING}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
