# The Windows installer, build/windows/zibbles-setup-<version>.exe (target `installer`), made with
# NSIS from install/windows/zibbles.nsi. With ZIBBLES_SIGN_CERT and ZIBBLES_SIGN_KEY (PEM files)
# the saver, the uninstaller and the installer are signed with osslsigncode.
set(ZIBBLES_SIGN_CERT "" CACHE FILEPATH "Certificate (PEM) to sign the Windows programs with; empty: unsigned")
set(ZIBBLES_SIGN_KEY "" CACHE FILEPATH "Private key (PEM) of ZIBBLES_SIGN_CERT")
find_program(ZIBBLES_MAKENSIS makensis)
find_program(ZIBBLES_OSSLSIGNCODE osslsigncode)

set(_zibbles_sign "")
if(ZIBBLES_SIGN_CERT OR ZIBBLES_SIGN_KEY)
  if(NOT EXISTS "${ZIBBLES_SIGN_CERT}" OR NOT EXISTS "${ZIBBLES_SIGN_KEY}")
    message(FATAL_ERROR "Signing needs both ZIBBLES_SIGN_CERT and ZIBBLES_SIGN_KEY, as files")
  endif()
  if(NOT ZIBBLES_OSSLSIGNCODE)
    message(FATAL_ERROR "Signing needs osslsigncode (scripts/install-deps)")
  endif()
  set(_zibbles_sign ${PROJECT_SOURCE_DIR}/install/windows/sign.sh ${ZIBBLES_SIGN_CERT} ${ZIBBLES_SIGN_KEY})
  # The saver is signed as it is linked, before the installer takes it in.
  add_custom_command(TARGET zibbles-scr POST_BUILD COMMAND ${_zibbles_sign} $<TARGET_FILE:zibbles-scr>
                     VERBATIM)
endif()

if(NOT ZIBBLES_MAKENSIS)
  message(STATUS "makensis not found: no installer target (scripts/install-deps installs nsis)")
  return()
endif()
set(ZIBBLES_INSTALLER ${PROJECT_BINARY_DIR}/zibbles-setup-${PROJECT_VERSION}.exe)
set(_zibbles_nsis_defines -DVERSION=${PROJECT_VERSION} -DSCR=$<TARGET_FILE:zibbles-scr>
    -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE -DOUTFILE=${ZIBBLES_INSTALLER})
if(_zibbles_sign)
  list(JOIN _zibbles_sign " " _zibbles_sign_command)
  list(APPEND _zibbles_nsis_defines "-DSIGN=${_zibbles_sign_command}")
endif()
add_custom_command(OUTPUT ${ZIBBLES_INSTALLER}
                   COMMAND ${ZIBBLES_MAKENSIS} -V2 -NOCD ${_zibbles_nsis_defines}
                           ${PROJECT_SOURCE_DIR}/install/windows/zibbles.nsi
                   DEPENDS zibbles-scr ${PROJECT_SOURCE_DIR}/install/windows/zibbles.nsi
                           ${PROJECT_SOURCE_DIR}/LICENSE
                   COMMENT "Packing the installer" VERBATIM)
add_custom_target(installer ALL DEPENDS ${ZIBBLES_INSTALLER})
