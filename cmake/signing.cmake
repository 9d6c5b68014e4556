# Authenticode signing (SHA-256) with osslsigncode, when the environment
# names a certificate at configure time:
#   MELVOX_SIGN_PKCS12          PKCS#12 file with the certificate, its chain
#                               and the private key (absolute path)
#   MELVOX_SIGN_PASSWORD_FILE   file whose first line is its password
#   MELVOX_SIGN_TIMESTAMP_URL   optional RFC 3161 time-stamp server
# melvox_signed(target) signs a program file in place right after its link
# (uninstall.exe, mvxlng.dll: before the installer packs them); the
# installer signs melvox-setup.exe once makensis has written it, with
# MELVOX_SIGN_COMMAND. scripts/sign.sh does the signing; when it fails it
# removes the file, so no unsigned file stands where a signed one belongs.
# Without MELVOX_SIGN_PKCS12 nothing is signed.

set(MELVOX_SIGN_PKCS12 "$ENV{MELVOX_SIGN_PKCS12}")
set(MELVOX_SIGN_PASSWORD_FILE "$ENV{MELVOX_SIGN_PASSWORD_FILE}")
set(MELVOX_SIGN_TIMESTAMP_URL "$ENV{MELVOX_SIGN_TIMESTAMP_URL}")
set(MELVOX_SIGN_COMMAND "")
if(MELVOX_SIGN_PKCS12 STREQUAL "")
  set(MELVOX_SIGNING OFF)
  message(STATUS "Signing: off, nothing is signed (set MELVOX_SIGN_PKCS12 and MELVOX_SIGN_PASSWORD_FILE to sign)")
else()
  foreach(_name MELVOX_SIGN_PKCS12 MELVOX_SIGN_PASSWORD_FILE)
    if(NOT IS_ABSOLUTE "${${_name}}")
      message(FATAL_ERROR "Signing: ${_name} must name a file by its absolute path (it is \"${${_name}}\")")
    endif()
  endforeach()
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "Signing: osslsigncode not found (scripts/install-deps.sh installs it)")
  endif()
  set(MELVOX_SIGNING ON)
  if(MELVOX_SIGN_TIMESTAMP_URL STREQUAL "")
    message(STATUS "Signing: with ${MELVOX_SIGN_PKCS12}, no time stamp")
  else()
    message(STATUS "Signing: with ${MELVOX_SIGN_PKCS12}, time stamp from ${MELVOX_SIGN_TIMESTAMP_URL}")
  endif()
  # The signing time is the build's time stamp too, so that signing the
  # same bytes with the same key gives the same file; the trusted time of
  # a signature is the time-stamp server's.
  set(MELVOX_SIGN_COMMAND ${CMAKE_COMMAND} -E env
      MELVOX_SIGN_PKCS12=${MELVOX_SIGN_PKCS12}
      MELVOX_SIGN_PASSWORD_FILE=${MELVOX_SIGN_PASSWORD_FILE}
      MELVOX_SIGN_TIMESTAMP_URL=${MELVOX_SIGN_TIMESTAMP_URL}
      SOURCE_DATE_EPOCH=${MELVOX_SOURCE_DATE_EPOCH}
      bash ${CMAKE_SOURCE_DIR}/scripts/sign.sh)
endif()

# The signing command is part of the link rule: turning signing on or off
# or naming another certificate links again and signs anew.
function(melvox_signed target)
  if(MELVOX_SIGNING)
    # So does a new certificate in the same file.
    if(EXISTS "${MELVOX_SIGN_PKCS12}")
      set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${MELVOX_SIGN_PKCS12})
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${MELVOX_SIGN_COMMAND} $<TARGET_FILE:${target}>
        VERBATIM)
  endif()
endfunction()
