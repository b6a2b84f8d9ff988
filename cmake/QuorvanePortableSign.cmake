# Signs a launcher at build time: cmake -DTOOL=<osslsigncode or signtool>
#   -DPKCS12=<file> [-DPASSWORD_FILE=<file>] [-DTIMESTAMP_URL=<url>]
#   -DPRODUCT_NAME=<text> [-DPRODUCT_URL=<url>] -DIN=<unsigned> -DOUT=<signed>
#   -P QuorvanePortableSign.cmake
# The signature goes into a temporary file beside OUT, which is renamed to
# OUT only once the tool has succeeded, so a failed or interrupted signing
# never leaves a half-signed launcher under the launcher's name.
set(partial "${OUT}.signing")
file(REMOVE "${partial}")
get_filename_component(toolName "${TOOL}" NAME_WE)
string(TOLOWER "${toolName}" toolName)
if(toolName STREQUAL "signtool")
  # signtool signs in place and takes the password only on its command line.
  file(COPY_FILE "${IN}" "${partial}")
  set(arguments sign /f "${PKCS12}" /fd SHA256 /d "${PRODUCT_NAME}")
  if(PASSWORD_FILE)
    file(STRINGS "${PASSWORD_FILE}" password LIMIT_COUNT 1)
    list(APPEND arguments /p "${password}")
  endif()
  if(PRODUCT_URL)
    list(APPEND arguments /du "${PRODUCT_URL}")
  endif()
  if(TIMESTAMP_URL)
    list(APPEND arguments /tr "${TIMESTAMP_URL}" /td SHA256)
  endif()
  list(APPEND arguments "${partial}")
else()
  set(arguments sign -pkcs12 "${PKCS12}" -h sha256 -n "${PRODUCT_NAME}")
  if(PASSWORD_FILE)
    list(APPEND arguments -readpass "${PASSWORD_FILE}")
  endif()
  if(PRODUCT_URL)
    list(APPEND arguments -i "${PRODUCT_URL}")
  endif()
  if(TIMESTAMP_URL)
    list(APPEND arguments -ts "${TIMESTAMP_URL}")
  endif()
  list(APPEND arguments -in "${IN}" -out "${partial}")
endif()

execute_process(COMMAND "${TOOL}" ${arguments} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT EXISTS "${partial}")
  file(REMOVE "${partial}")
  message(FATAL_ERROR "${toolName} could not sign ${IN} (${result}):\n${output}")
endif()
file(RENAME "${partial}" "${OUT}")
