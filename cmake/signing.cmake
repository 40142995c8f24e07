# Authenticode signing of the Windows executables, as a vendor signs them.
# The launcher pins its publisher by its own signature and starts only
# programs signed with the same key, so the builds sign what they make:
#
#   KLV_SIGNING_KEY, KLV_SIGNING_CERT   the vendor's private key and its
#       certificate (PEM files, or whatever osslsigncode takes). Left empty,
#       the configure makes a throwaway test key A with a self-signed
#       certificate in <build>/signing/, never in the source tree: fine for
#       the tests, worthless for a release (its private key lies beside it).
#
# For the tests the configure also makes, in <build>/signing/, a second key B
# (a stranger's, under the same subject name as A's throwaway certificate) and
# a renewed certificate of the signing key (same key, another serial and
# other dates). Every signature is made after the link and its stripping, by
# a POST_BUILD step, so it is made again whenever the target relinks.

set(KLV_SIGNING_KEY "" CACHE FILEPATH "Private key that signs the Windows executables (empty: a throwaway test key)")
set(KLV_SIGNING_CERT "" CACHE FILEPATH "Certificate of KLV_SIGNING_KEY (empty: a throwaway test certificate)")

find_program(KLV_OSSLSIGNCODE osslsigncode REQUIRED)
find_program(KLV_OPENSSL openssl REQUIRED)
set(KLV_SIGN_IMAGE ${CMAKE_CURRENT_LIST_DIR}/sign-image.sh)
set(KLV_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
file(MAKE_DIRECTORY ${KLV_SIGNING_DIR})

# A key and a self-signed code-signing certificate, made once per build folder.
function(klv_make_test_key key cert)
    if(EXISTS ${key} AND EXISTS ${cert})
        return()
    endif()
    execute_process(COMMAND ${KLV_OPENSSL} req -x509 -newkey rsa:2048 -nodes -days 3650 -set_serial 1
            -subj "/CN=KLV test publisher" -addext extendedKeyUsage=codeSigning -keyout ${key} -out ${cert}
        RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE errors)
    if(failed)
        message(FATAL_ERROR "cannot make the test key ${key}: ${errors}")
    endif()
endfunction()

if(KLV_SIGNING_KEY STREQUAL "" OR KLV_SIGNING_CERT STREQUAL "")
    if(NOT (KLV_SIGNING_KEY STREQUAL "" AND KLV_SIGNING_CERT STREQUAL ""))
        message(FATAL_ERROR "give both KLV_SIGNING_KEY and KLV_SIGNING_CERT, or neither")
    endif()
    set(KLV_SIGN_KEY ${KLV_SIGNING_DIR}/a.key)
    set(KLV_SIGN_CERT ${KLV_SIGNING_DIR}/a.pem)
    klv_make_test_key(${KLV_SIGN_KEY} ${KLV_SIGN_CERT})
    message(STATUS "Signing the Windows executables with the throwaway test key ${KLV_SIGN_KEY}")
else()
    set(KLV_SIGN_KEY ${KLV_SIGNING_KEY})
    set(KLV_SIGN_CERT ${KLV_SIGNING_CERT})
endif()
set(KLV_FOREIGN_KEY ${KLV_SIGNING_DIR}/b.key)
set(KLV_FOREIGN_CERT ${KLV_SIGNING_DIR}/b.pem)
klv_make_test_key(${KLV_FOREIGN_KEY} ${KLV_FOREIGN_CERT})
set(KLV_RENEWED_CERT ${KLV_SIGNING_DIR}/a-renewed.pem)
if(NOT EXISTS ${KLV_RENEWED_CERT} OR ${KLV_SIGN_KEY} IS_NEWER_THAN ${KLV_RENEWED_CERT})
    execute_process(COMMAND ${KLV_OPENSSL} req -x509 -new -key ${KLV_SIGN_KEY} -days 7300 -set_serial 2
            -subj "/CN=KLV test publisher" -addext extendedKeyUsage=codeSigning -out ${KLV_RENEWED_CERT}
        RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE errors)
    if(failed)
        message(FATAL_ERROR "cannot make a renewed certificate of ${KLV_SIGN_KEY}: ${errors}")
    endif()
endif()

# klv_sign_executable(TARGET [UNSIGNED dir] [FOREIGN dir] [ALTERED dir]
#                     [RENEWED dir] [NESTED dir])
# Signs TARGET's file in place with the signing key, after every link. Each
# option also leaves a variant of it, under the same file name, in its folder:
#   UNSIGNED  the image as linked, with no signature
#   FOREIGN   signed with key B instead
#   ALTERED   signed with the signing key, then one byte of its code changed
#   RENEWED   signed with the signing key under its renewed certificate
#   NESTED    signed with key B, with a second signature by the signing key
#             nested in it
function(klv_sign_executable target)
    cmake_parse_arguments(arg "" "UNSIGNED;FOREIGN;ALTERED;RENEWED;NESTED" "" ${ARGN})
    set(file $<TARGET_FILE:${target}>)
    set(name $<TARGET_FILE_NAME:${target}>)
    set(steps)
    if(arg_UNSIGNED)
        list(APPEND steps COMMAND ${CMAKE_COMMAND} -E make_directory ${arg_UNSIGNED}
                          COMMAND ${CMAKE_COMMAND} -E copy ${file} ${arg_UNSIGNED}/${name})
    endif()
    if(arg_FOREIGN)
        list(APPEND steps COMMAND ${KLV_SIGN_IMAGE} sign ${file} ${KLV_FOREIGN_KEY} ${KLV_FOREIGN_CERT}
                                  ${arg_FOREIGN}/${name})
    endif()
    if(arg_RENEWED)
        list(APPEND steps COMMAND ${KLV_SIGN_IMAGE} sign ${file} ${KLV_SIGN_KEY} ${KLV_RENEWED_CERT}
                                  ${arg_RENEWED}/${name})
    endif()
    if(arg_NESTED)
        list(APPEND steps COMMAND ${KLV_SIGN_IMAGE} sign ${file} ${KLV_FOREIGN_KEY} ${KLV_FOREIGN_CERT}
                                  ${arg_NESTED}/${name} ${KLV_SIGN_KEY} ${KLV_SIGN_CERT})
    endif()
    list(APPEND steps COMMAND ${KLV_SIGN_IMAGE} sign ${file} ${KLV_SIGN_KEY} ${KLV_SIGN_CERT} ${file})
    if(arg_ALTERED)
        list(APPEND steps COMMAND ${KLV_SIGN_IMAGE} alter ${file} ${arg_ALTERED}/${name})
    endif()
    add_custom_command(TARGET ${target} POST_BUILD ${steps}
        COMMENT "Signing ${target}" VERBATIM)
endfunction()

# klv_name_successor_key(TARGET CERTIFICATE)
# Builds into TARGET the resource KLVNEXTKEY with CERTIFICATE (PEM) as DER:
# the key that the publisher moves to. Sign that release with the old key;
# its launchers then accept files signed with either key, and the releases
# after it are signed with the new key alone.
function(klv_name_successor_key target certificate)
    set(der ${CMAKE_CURRENT_BINARY_DIR}/${target}-successor.der)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-successor.rc)
    execute_process(COMMAND ${KLV_OPENSSL} x509 -in ${certificate} -outform DER -out ${der}
        RESULT_VARIABLE failed ERROR_VARIABLE errors)
    if(failed)
        message(FATAL_ERROR "cannot read the successor certificate ${certificate}: ${errors}")
    endif()
    file(WRITE ${rc} "KLVNEXTKEY RCDATA \"${der}\"\n")
    target_sources(${target} PRIVATE ${rc})
endfunction()

set(KLV_SUCCESSOR_CERT "" CACHE FILEPATH
    "Certificate (PEM) of the key the publisher moves to, named inside klv-start.exe (empty: none)")
