# Authenticode signatures of the programs a vendor ships, made with
# osslsigncode right after each link: the uninstaller before the payload
# packs it, the installer last. Without a certificate nothing is signed.
set(VT_SIGN_CERT "" CACHE FILEPATH
    "Code-signing certificate: PEM (with VT_SIGN_KEY) or PKCS#12 (.p12 or .pfx, key inside); empty: unsigned")
set(VT_SIGN_KEY "" CACHE FILEPATH "PEM private key of VT_SIGN_CERT")
set(VT_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the key's password, if it has one")
set(VT_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamping server; empty: none, and the signature is reproducible")

if(VT_SIGN_CERT)
    find_program(VT_OSSLSIGNCODE osslsigncode REQUIRED)
    if(VT_SIGN_CERT MATCHES "\\.(p12|pfx)$")
        set(vt_sign_identity -pkcs12 ${VT_SIGN_CERT})
        set(vt_sign_inputs ${VT_SIGN_CERT})
    elseif(VT_SIGN_KEY)
        set(vt_sign_identity -certs ${VT_SIGN_CERT} -key ${VT_SIGN_KEY})
        set(vt_sign_inputs ${VT_SIGN_CERT} ${VT_SIGN_KEY})
    else()
        message(FATAL_ERROR "VT_SIGN_CERT ${VT_SIGN_CERT} is no PKCS#12 file (.p12, .pfx) and VT_SIGN_KEY is empty")
    endif()
    if(VT_SIGN_PASSWORD_FILE)
        list(APPEND vt_sign_identity -readpass ${VT_SIGN_PASSWORD_FILE})
        list(APPEND vt_sign_inputs ${VT_SIGN_PASSWORD_FILE})
    endif()
    # osslsigncode would write the current time into the signature: the
    # build's own time goes there instead (see reproducible.cmake).
    set(vt_sign_time 0)
    if(VT_SOURCE_DATE_EPOCH)
        set(vt_sign_time ${VT_SOURCE_DATE_EPOCH})
    endif()
    set(vt_sign_options -h sha256 -time ${vt_sign_time})
    if(VT_SIGN_TIMESTAMP_URL)
        list(APPEND vt_sign_options -ts ${VT_SIGN_TIMESTAMP_URL})
    endif()
endif()

# Signs the target's file after every link of it; a new certificate or key
# under the same name links it again.
function(vt_sign target)
    if(NOT VT_SIGN_CERT)
        return()
    endif()
    set(file $<TARGET_FILE:${target}>)
    # osslsigncode writes no file over another: what a failed run left goes.
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E rm -f ${file}.signed
        COMMAND ${VT_OSSLSIGNCODE} sign ${vt_sign_identity} ${vt_sign_options} -in ${file} -out ${file}.signed
        COMMAND ${CMAKE_COMMAND} -E rename ${file}.signed ${file}
        COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
        VERBATIM)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${vt_sign_inputs})
endfunction()
