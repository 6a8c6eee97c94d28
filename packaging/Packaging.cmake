# Installation and the Debian package (scripts/package, or cpack -G DEB in a
# build folder).
include(GNUInstallDirs)

# Debian keeps manual pages and changelogs compressed, reproducibly.
function(vx_install_gzipped source destination)
  get_filename_component(name ${source} NAME)
  set(gzipped ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(
    OUTPUT ${gzipped}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
    COMMAND gzip -n -9 -c ${source} > ${gzipped}
    DEPENDS ${source})
  add_custom_target(vx_gzip_${name} ALL DEPENDS ${gzipped})
  install(FILES ${gzipped} DESTINATION ${destination})
endfunction()

# Every program with its manual page. The simulator and the demo go
# together: the demo looks for vxsim beside it.
foreach(program vxsim vxconfig-demo vxctl vxconfig)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    vx_install_gzipped(${CMAKE_CURRENT_LIST_DIR}/${program}.1 ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
# The command line's bash completion, with the line settings and ports it
# offers written in at build time by a small tool from the protocol's lists.
if(TARGET vxctl AND NOT WIN32)
  add_executable(vx_bash_completion ${CMAKE_CURRENT_LIST_DIR}/bash_completion.cpp)
  target_link_libraries(vx_bash_completion PRIVATE vx_protocol)
  set(vx_completion_template ${CMAKE_CURRENT_LIST_DIR}/vxctl.bash-completion.in)
  set(vx_completion ${CMAKE_CURRENT_BINARY_DIR}/packaging/vxctl.bash-completion)
  add_custom_command(
    OUTPUT ${vx_completion}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
    COMMAND vx_bash_completion ${vx_completion_template} ${vx_completion}
    DEPENDS vx_bash_completion ${vx_completion_template})
  add_custom_target(vx_completion ALL DEPENDS ${vx_completion})
  install(FILES ${vx_completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME vxctl)
endif()
if(VX_BUILD_UI)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/vxconfig.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/vxconfig.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # What software centres show of the program.
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/io.github.vxconfig.vxconfig.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# What Debian asks of every package's documentation folder.
set(vx_package_doc ${CMAKE_INSTALL_DATADIR}/doc/vxconfig)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright DESTINATION ${vx_package_doc})
vx_install_gzipped(${CMAKE_CURRENT_LIST_DIR}/debian/changelog ${vx_package_doc})

set(CPACK_PACKAGE_NAME vxconfig)
set(CPACK_PACKAGE_CONTACT "vxconfig maintainers <maintainers@vxconfig.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find, set up and test a 16-in/16-out serial I/O module")
set(CPACK_PACKAGE_DESCRIPTION
    "A window in which a technician finds the digital I/O module on a serial line\n\
(RS-232/RS-485), reads its identity, gives it a bus ID, line settings, output\n\
mode and NO/NC flags, resets it, and drives its outputs while watching its\n\
inputs, in English, simplified or traditional Chinese. A module simulator\n\
(vxsim) and a demo on simulated modules come with it.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The Latin font travels inside the programs; the Chinese texts need a CJK
# font from the system. The beeps load the sound server's client library when
# they first sound, so the library analysis cannot see it. The settings folder
# belongs to the people who may use serial ports.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk, libpulse0")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
