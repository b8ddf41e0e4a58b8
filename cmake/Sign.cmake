# Authenticode signatures on what is shipped (osslsigncode, Debian's osslsigncode package): off
# unless AMBREL_SIGN_PFX names a PKCS#12 file with the code-signing certificate and its key.
#
#   AMBREL_SIGN_PFX            the .pfx file (cache variable; its first value comes from the
#                              environment variable of the same name at configure time)
#   AMBREL_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server, optional (same)
#   AMBREL_SIGN_PASSWORD_FILE  environment of the build: a file holding the password alone
#   AMBREL_SIGN_PASSWORD       environment of the build: the password itself
#
# The password is read from the build's environment when a file is signed and never becomes a
# cache entry or part of a command line (where ps, a verbose build log or the generated build
# files would show it). A file whose signing fails is deleted, so the build fails and nothing
# unsigned is left behind to be shipped by mistake.
set(AMBREL_SIGN_PFX "$ENV{AMBREL_SIGN_PFX}" CACHE FILEPATH
    "PKCS#12 file to sign Ambrel.exe and the installer package with (empty: unsigned)")
set(AMBREL_SIGN_TIMESTAMP_URL "$ENV{AMBREL_SIGN_TIMESTAMP_URL}" CACHE STRING
    "RFC 3161 time-stamp server for the signatures (empty: none)")

if(AMBREL_SIGN_PFX)
    if(NOT EXISTS "${AMBREL_SIGN_PFX}")
        message(FATAL_ERROR "AMBREL_SIGN_PFX: ${AMBREL_SIGN_PFX} does not exist")
    endif()
    find_program(AMBREL_OSSLSIGNCODE osslsigncode)
    if(NOT AMBREL_OSSLSIGNCODE)
        message(FATAL_ERROR "AMBREL_SIGN_PFX is set but osslsigncode was not found")
    endif()
    message(STATUS "Signing with ${AMBREL_SIGN_PFX}")
endif()

# The command that signs FILE in place.
function(ambrel_sign_command file out)
    set(${out} ${CMAKE_COMMAND} -D OSSLSIGNCODE=${AMBREL_OSSLSIGNCODE} -D PFX=${AMBREL_SIGN_PFX}
        -D TIMESTAMP_URL=${AMBREL_SIGN_TIMESTAMP_URL} -D FILE=${file}
        -P ${PROJECT_SOURCE_DIR}/cmake/SignFile.cmake PARENT_SCOPE)
endfunction()

# ambrel_sign_target(target): signs the target's file as the last step of its link, so that
# everything made from it (the release zip, the installer package) carries the signature.
function(ambrel_sign_target target)
    if(NOT AMBREL_SIGN_PFX)
        return()
    endif()
    ambrel_sign_command($<TARGET_FILE:${target}> command)
    # Another certificate is another signature: the link is done again.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${AMBREL_SIGN_PFX})
    add_custom_command(TARGET ${target} POST_BUILD COMMAND ${command}
        COMMENT "Signing $<TARGET_FILE_NAME:${target}>" VERBATIM)
endfunction()

# ambrel_sign_output(file): signs the output of an existing custom command as its last step;
# called after every other step that changes the file has been added, since any later change
# would break the signature.
function(ambrel_sign_output file)
    if(NOT AMBREL_SIGN_PFX)
        return()
    endif()
    ambrel_sign_command(${file} command)
    add_custom_command(OUTPUT ${file} APPEND COMMAND ${command}
        DEPENDS ${AMBREL_SIGN_PFX} ${PROJECT_SOURCE_DIR}/cmake/SignFile.cmake)
endfunction()
