# Installation and the Debian package (cpack -G DEB in the build folder).
include(GNUInstallDirs)

# The simulator and the demo go together: the demo looks for vxsim beside it.
foreach(program vxsim vxconfig-demo)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
# The command line, with its manual page and bash completion.
if(TARGET vxctl)
  install(TARGETS vxctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/vxctl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/vxctl.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vxctl)
endif()
if(VX_BUILD_UI)
  install(TARGETS vxconfig RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/vxconfig.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

set(CPACK_PACKAGE_NAME vxconfig)
set(CPACK_PACKAGE_CONTACT "vxconfig maintainers <maintainers@vxconfig.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Find, set up and test a 16-in/16-out serial I/O module")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Chinese texts need a CJK font; the settings folder belongs to the
# people who may use serial ports.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/postinst)
include(CPack)
