# Fails when a source file outside the Qt front end includes a Qt header.
file(GLOB_RECURSE files ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h ${SOURCE_DIR}/config/*
     ${SOURCE_DIR}/net/* ${SOURCE_DIR}/ui/* ${SOURCE_DIR}/script/* ${SOURCE_DIR}/http/*
     ${SOURCE_DIR}/sysfuncs/*)
set(bad "")
foreach(file ${files})
    if(file MATCHES "/ui/qt/" OR file MATCHES "/app/main\\.cpp$")
        continue()
    endif()
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z]|qt)")
    if(lines)
        list(APPEND bad "${file}")
    endif()
endforeach()
if(bad)
    message(FATAL_ERROR "Qt included outside the front end: ${bad}")
endif()
