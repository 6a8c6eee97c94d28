# What Windows shows of a program before and while it runs: the icon, the
# version information in its properties, and the manifest that declares it
# runs with the user's own rights, draws at each monitor's scale, and knows
# the Windows versions Qt 6 runs on. Built into each .exe through windres.

# The icon, rasterised from the SVG the Debian package carries, at the sizes
# Explorer and the taskbar pick from (256 stored as PNG, as Windows expects).
find_program(VX_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(VX_ICOTOOL icotool REQUIRED)
set(VX_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/icons/vxconfig.svg)
set(VX_ICON ${PROJECT_BINARY_DIR}/packaging/windows/vxconfig.ico)
set(vx_icon_pngs)
foreach(size 16 24 32 48 256)
  set(png ${PROJECT_BINARY_DIR}/packaging/windows/icon-${size}.png)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${VX_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${VX_ICON_SVG}
    DEPENDS ${VX_ICON_SVG})
  if(size EQUAL 256)
    list(APPEND vx_icon_pngs --raw=${png})
  else()
    list(APPEND vx_icon_pngs ${png})
  endif()
  list(APPEND vx_icon_depends ${png})
endforeach()
add_custom_command(
  OUTPUT ${VX_ICON}
  COMMAND ${VX_ICOTOOL} --create --output=${VX_ICON} ${vx_icon_pngs}
  DEPENDS ${vx_icon_depends})
add_custom_target(vx_icon DEPENDS ${VX_ICON})

# Gives `target` its icon, version information and manifest; `description`
# is what Explorer shows as the file's description.
function(vx_windows_resources target description)
  set(VX_RC_DESCRIPTION "${description}")
  set(VX_RC_FILE_NAME "${target}.exe")
  set(VX_RC_ICON "${VX_ICON}")
  set(VX_RC_MANIFEST ${PROJECT_BINARY_DIR}/packaging/windows/${target}.manifest)
  set(VX_RC_NAME ${target})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/app.manifest.in ${VX_RC_MANIFEST} @ONLY)
  set(rc ${PROJECT_BINARY_DIR}/packaging/windows/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/app.rc.in ${rc} @ONLY)
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${VX_ICON} ${VX_RC_MANIFEST})
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} vx_icon)
endfunction()
