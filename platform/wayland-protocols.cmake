# The client side of xdg-shell (stable), generated from Debian's wayland-protocols by
# wayland-scanner: a header for the platform's Wayland files and the interface tables in C.
enable_language(C)
pkg_check_modules(WaylandClient REQUIRED IMPORTED_TARGET wayland-client)
pkg_check_modules(WaylandProtocols REQUIRED wayland-protocols)
pkg_get_variable(ZIBBLES_WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
find_program(ZIBBLES_WAYLAND_SCANNER wayland-scanner REQUIRED)

set(ZIBBLES_WAYLAND_PROTOCOL_DIR ${CMAKE_CURRENT_BINARY_DIR}/wayland)
set(_xml ${ZIBBLES_WAYLAND_PROTOCOLS_DIR}/stable/xdg-shell/xdg-shell.xml)
set(_header ${ZIBBLES_WAYLAND_PROTOCOL_DIR}/xdg-shell-client-protocol.h)
set(_code ${ZIBBLES_WAYLAND_PROTOCOL_DIR}/xdg-shell-protocol.c)
add_custom_command(
  OUTPUT ${_header} ${_code}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZIBBLES_WAYLAND_PROTOCOL_DIR}
  COMMAND ${ZIBBLES_WAYLAND_SCANNER} client-header ${_xml} ${_header}
  COMMAND ${ZIBBLES_WAYLAND_SCANNER} private-code ${_xml} ${_code}
  DEPENDS ${_xml}
  COMMENT "Generating the xdg-shell client code"
  VERBATIM)
set(ZIBBLES_WAYLAND_PROTOCOL_CODE ${_header} ${_code})

# The idle launcher's two Wayland idle protocols: ext-idle-notify from wayland-protocols (staging)
# and KDE's older idle.xml from plasma-wayland-protocols, generated the same way, for the
# launcher's own program (not the platform library).
find_package(PlasmaWaylandProtocols REQUIRED)
foreach(_protocol
        "ext-idle-notify-v1|${ZIBBLES_WAYLAND_PROTOCOLS_DIR}/staging/ext-idle-notify/ext-idle-notify-v1.xml"
        "kde-idle|${PLASMA_WAYLAND_PROTOCOLS_DIR}/idle.xml")
  string(REPLACE "|" ";" _protocol "${_protocol}")
  list(GET _protocol 0 _name)
  list(GET _protocol 1 _xml)
  set(_header ${ZIBBLES_WAYLAND_PROTOCOL_DIR}/${_name}-client-protocol.h)
  set(_code ${ZIBBLES_WAYLAND_PROTOCOL_DIR}/${_name}-protocol.c)
  add_custom_command(
    OUTPUT ${_header} ${_code}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZIBBLES_WAYLAND_PROTOCOL_DIR}
    COMMAND ${ZIBBLES_WAYLAND_SCANNER} client-header ${_xml} ${_header}
    COMMAND ${ZIBBLES_WAYLAND_SCANNER} private-code ${_xml} ${_code}
    DEPENDS ${_xml}
    COMMENT "Generating the ${_name} client code"
    VERBATIM)
  list(APPEND _idle_code ${_header} ${_code})
endforeach()
add_library(zibbles_wayland_idle_protocols STATIC ${_idle_code})
target_include_directories(zibbles_wayland_idle_protocols PUBLIC ${ZIBBLES_WAYLAND_PROTOCOL_DIR})
target_link_libraries(zibbles_wayland_idle_protocols PUBLIC PkgConfig::WaylandClient)
