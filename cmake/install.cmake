# What `cmake --install` puts where, and the packages CPack makes of it.
#
# Windows (zvmods-<version>-win32.zip), laid out as a host expects it:
#   zvmods.dll, descriptions/*.xml beside it, wavetables/, soundfonts/,
#   README.txt
# Linux (zvmods-<version>-linux-<arch>.tar.gz):
#   bin/zvhost
#   lib/zvmods/libzvmods.so
#   share/zvmods/{descriptions,wavetables,soundfonts,examples}
# zvhost finds its library, descriptions and assets from its own place in
# this layout (host/install_layout.h).
#
# Packaged binaries are stripped; the build tree keeps the unstripped ones
# for debugging.
set(ZV_GENERATED_WAVETABLES ${CMAKE_BINARY_DIR}/wavetables)
set(ZV_GENERATED_SOUNDFONTS ${CMAKE_BINARY_DIR}/soundfonts)

if(WIN32)
  install(TARGETS zvmods RUNTIME DESTINATION . LIBRARY DESTINATION .)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/descriptions/ DESTINATION descriptions FILES_MATCHING PATTERN "*.xml")
  install(DIRECTORY ${ZV_GENERATED_WAVETABLES}/ DESTINATION wavetables FILES_MATCHING PATTERN "*.zvw")
  install(DIRECTORY ${ZV_GENERATED_SOUNDFONTS}/ DESTINATION soundfonts FILES_MATCHING PATTERN "*.sf2")
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt DESTINATION . RENAME README.txt)
  set(ZV_PACKAGE_SYSTEM win32)
  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS zvmods LIBRARY DESTINATION lib/zvmods)
  if(TARGET zvhost)
    install(TARGETS zvhost RUNTIME DESTINATION bin)
  endif()
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/descriptions/ DESTINATION share/zvmods/descriptions
          FILES_MATCHING PATTERN "*.xml")
  install(DIRECTORY ${ZV_GENERATED_WAVETABLES}/ DESTINATION share/zvmods/wavetables FILES_MATCHING PATTERN "*.zvw")
  install(DIRECTORY ${ZV_GENERATED_SOUNDFONTS}/ DESTINATION share/zvmods/soundfonts FILES_MATCHING PATTERN "*.sf2")
  install(FILES ${CMAKE_SOURCE_DIR}/examples/demo.json ${CMAKE_SOURCE_DIR}/examples/soundfont.json
                ${CMAKE_SOURCE_DIR}/examples/mixm_voices.json ${CMAKE_SOURCE_DIR}/examples/panel.json
                ${CMAKE_SOURCE_DIR}/examples/presets.json
                ${CMAKE_SOURCE_DIR}/examples/demo.mid
                ${CMAKE_SOURCE_DIR}/examples/clock.json ${CMAKE_SOURCE_DIR}/examples/allocator.json
                ${CMAKE_SOURCE_DIR}/examples/unison.json ${CMAKE_BINARY_DIR}/midi/unison.mid
          DESTINATION share/zvmods/examples)
  string(TOLOWER "linux-${CMAKE_SYSTEM_PROCESSOR}" ZV_PACKAGE_SYSTEM)
  set(CPACK_GENERATOR TGZ)
endif()

set(CPACK_PACKAGE_NAME zvmods)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME zvmods-${PROJECT_VERSION}-${ZV_PACKAGE_SYSTEM})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
