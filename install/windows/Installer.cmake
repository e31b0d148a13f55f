# The Windows installer, build/windows/zibbles-setup-<version>.exe (target `installer`), made with
# NSIS from install/windows/zibbles.nsi. With ZIBBLES_SIGN_CERT and ZIBBLES_SIGN_KEY (PEM files)
# the saver, the uninstaller and the installer are signed with osslsigncode.
set(ZIBBLES_SIGN_CERT "" CACHE FILEPATH "Certificate (PEM) to sign the Windows programs with; empty: unsigned")
set(ZIBBLES_SIGN_KEY "" CACHE FILEPATH "Private key (PEM) of ZIBBLES_SIGN_CERT")
find_program(ZIBBLES_MAKENSIS makensis)
find_program(ZIBBLES_OSSLSIGNCODE osslsigncode)

set(_zibbles_signing "")
if(ZIBBLES_SIGN_CERT OR ZIBBLES_SIGN_KEY)
  if(NOT EXISTS "${ZIBBLES_SIGN_CERT}" OR NOT EXISTS "${ZIBBLES_SIGN_KEY}")
    message(FATAL_ERROR "Signing needs both ZIBBLES_SIGN_CERT and ZIBBLES_SIGN_KEY, as files")
  endif()
  if(NOT ZIBBLES_OSSLSIGNCODE)
    message(FATAL_ERROR "Signing needs osslsigncode (scripts/install-deps)")
  endif()
  set(_zibbles_signing ${ZIBBLES_SIGN_CERT} ${ZIBBLES_SIGN_KEY})
endif()
# The saver is signed in place after each link, and again when signing is turned on, before the
# installer takes it in; the stamp says which link and which certificate it was signed for.
set(_zibbles_scr_ready ${PROJECT_BINARY_DIR}/zibbles.scr.ready)
add_custom_command(OUTPUT ${_zibbles_scr_ready}
                   COMMAND ${PROJECT_SOURCE_DIR}/install/windows/sign.sh ${_zibbles_signing}
                           $<TARGET_FILE:zibbles-scr>
                   COMMAND ${CMAKE_COMMAND} -E touch ${_zibbles_scr_ready}
                   DEPENDS zibbles-scr $<TARGET_FILE:zibbles-scr> ${_zibbles_signing}
                   COMMENT "Signing zibbles.scr (where a certificate is given)" VERBATIM)
add_custom_target(zibbles-scr-ready ALL DEPENDS ${_zibbles_scr_ready})

if(NOT ZIBBLES_MAKENSIS)
  message(STATUS "makensis not found: no installer target (scripts/install-deps installs nsis)")
  return()
endif()
set(ZIBBLES_INSTALLER ${PROJECT_BINARY_DIR}/zibbles-setup-${PROJECT_VERSION}.exe)
add_custom_command(OUTPUT ${ZIBBLES_INSTALLER}
                   COMMAND ${PROJECT_SOURCE_DIR}/install/windows/make-installer.sh ${PROJECT_VERSION}
                           $<TARGET_FILE:zibbles-scr> ${PROJECT_SOURCE_DIR}/LICENSE ${ZIBBLES_INSTALLER}
                           ${_zibbles_signing}
                   DEPENDS ${_zibbles_scr_ready} ${PROJECT_SOURCE_DIR}/install/windows/zibbles.nsi
                           ${PROJECT_SOURCE_DIR}/install/windows/make-installer.sh
                           ${PROJECT_SOURCE_DIR}/install/windows/sign.sh ${PROJECT_SOURCE_DIR}/LICENSE
                   COMMENT "Packing the installer" VERBATIM)
add_custom_target(installer ALL DEPENDS ${ZIBBLES_INSTALLER})
