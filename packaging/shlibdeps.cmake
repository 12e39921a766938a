# Writes the Depends that dpkg-shlibdeps finds for one program.
# cmake -DPROGRAM=file -DOUTPUT=file -DWORK=folder -P shlibdeps.cmake
file(MAKE_DIRECTORY ${WORK}/debian)
file(WRITE ${WORK}/debian/control "Source: fretmap\n\nPackage: fretmap\nArchitecture: any\n")
execute_process(COMMAND dpkg-shlibdeps -O ${PROGRAM}
                WORKING_DIRECTORY ${WORK}
                OUTPUT_VARIABLE found ERROR_VARIABLE warnings RESULT_VARIABLE result
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0 OR NOT found MATCHES "^shlibs:Depends=")
    message(FATAL_ERROR "dpkg-shlibdeps failed on ${PROGRAM}: ${warnings}")
endif()
string(REGEX REPLACE "^shlibs:Depends=" "" found "${found}")
file(WRITE ${OUTPUT} "${found}")
