# cmake -D OSSLSIGNCODE=... -D PFX=... [-D TIMESTAMP_URL=...] -D FILE=... -P SignFile.cmake
# Signs FILE in place with Authenticode (SHA-256), the password of PFX taken from the environment
# (AMBREL_SIGN_PASSWORD_FILE, else AMBREL_SIGN_PASSWORD; see Sign.cmake). Any failure deletes
# FILE and fails: a build that was asked to sign never leaves an unsigned file where the signed
# one belongs.
foreach(name OSSLSIGNCODE PFX FILE)
    if(NOT ${name})
        message(FATAL_ERROR "SignFile.cmake: ${name} not given")
    endif()
endforeach()

set(signed "${FILE}.signed")
set(typed "")
set(password_file "")
if(NOT "$ENV{AMBREL_SIGN_PASSWORD_FILE}" STREQUAL "")
    set(password_file "$ENV{AMBREL_SIGN_PASSWORD_FILE}")
elseif(NOT "$ENV{AMBREL_SIGN_PASSWORD}" STREQUAL "")
    # osslsigncode takes a password on its command line or from a file: a file that only this
    # user may read, made empty, restricted, then filled, and removed right after.
    set(typed "${FILE}.password")
    file(REMOVE "${typed}")
    file(TOUCH "${typed}")
    file(CHMOD "${typed}" PERMISSIONS OWNER_READ OWNER_WRITE)
    file(WRITE "${typed}" "$ENV{AMBREL_SIGN_PASSWORD}")
    set(password_file "${typed}")
endif()

set(command "${OSSLSIGNCODE}" sign -pkcs12 "${PFX}" -h sha256 -n Ambrel)
if(password_file)
    list(APPEND command -readpass "${password_file}")
endif()
if(TIMESTAMP_URL)
    list(APPEND command -ts "${TIMESTAMP_URL}")
endif()
file(REMOVE "${signed}")
execute_process(COMMAND ${command} -in "${FILE}" -out "${signed}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(typed)
    file(REMOVE "${typed}")
endif()

if(NOT result EQUAL 0 OR NOT EXISTS "${signed}")
    file(REMOVE "${FILE}" "${signed}")
    message(FATAL_ERROR "Signing ${FILE} with ${PFX} failed (${result}); the file is deleted:\n"
                        "${output}")
endif()
file(RENAME "${signed}" "${FILE}")
