# Runs the layering checker on two tiny trees that follow the real rules file: one with planted
# crossings, which must fail and name each one, and the same tree without them, which must pass.
#
#   cmake -DCHECKER=<CheckLayering.cmake> -DRULES_FILE=<ARCHITECTURE.md> -DWORK_DIR=<dir> -P ...
cmake_minimum_required(VERSION 3.25)

function(plant tree path)
    string(JOIN "" text ${ARGN})
    file(WRITE "${tree}/${path}" "${text}")
endfunction()

function(make_tree tree with_violations)
    file(REMOVE_RECURSE "${tree}")
    file(MAKE_DIRECTORY "${tree}")
    file(COPY_FILE "${RULES_FILE}" "${tree}/ARCHITECTURE.md")
    plant(${tree} base/Leaf.h "#pragma once\n")
    plant(${tree} net/Local.h "#include \"base/Leaf.h\"\n")
    plant(${tree} net/Good.cpp "#include <string>\n#include \"Local.h\"\n#include <zlib.h>\n")
    plant(${tree} ui/Port.h "#include \"base/Leaf.h\"\n")
    plant(${tree} ui/qt/View.h "#include <QWidget>\n#include \"ui/Port.h\"\n")
    plant(${tree} app/App.h "#include \"net/Local.h\"\n#include \"ui/Port.h\"\n")
    plant(${tree} app/App.cpp "#include <Version.h>\n#include \"app/App.h\"\n")
    plant(${tree} app/main.cpp "#include <QApplication>\n#include \"ui/qt/View.h\"\n")
    plant(${tree} script/ScriptInterface.h "#pragma once\n#include <cstdint>\n")
    plant(${tree} scriptsystems/lua/Lua.cpp "#include \"script/ScriptInterface.h\"\n")
    # Tests may use anything.
    plant(${tree} tests/AppTest.cpp "#include <QWidget>\n#include \"ui/qt/View.h\"\n")
    if(with_violations)
        plant(${tree} net/Bad.cpp "// the engine reaching into the application\n\n"
                                  "  #  include \"app/App.h\"  // no\n")
        plant(${tree} net/Sneaky.cpp "#include \"../app/App.h\"\n")
        plant(${tree} ui/Bad.cpp "#include <string>\n#include <QWidget>\n")
        plant(${tree} app/Bad.cpp "#include \"ui/qt/View.h\"\n")
        plant(${tree} scriptsystems/lua/Bad.cpp
              "#include \"script/ScriptInterface.h\"\n#include \"script/ScriptHost.h\"\n")
        plant(${tree} script/ScriptInterface.h "#pragma once\n#include \"base/Leaf.h\"\n")
    endif()
endfunction()

function(run_checker tree result_var output_var)
    execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} -P ${CHECKER}
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    set(${result_var} "${result}" PARENT_SCOPE)
    set(${output_var} "${out}${err}" PARENT_SCOPE)
endfunction()

set(failures "")

make_tree("${WORK_DIR}/planted" TRUE)
run_checker("${WORK_DIR}/planted" result output)
if(result EQUAL 0)
    list(APPEND failures "planted crossings passed")
endif()
foreach(expected
        "net/Bad.cpp:3: #include \"app/App.h\" is not allowed: net/ may include base/"
        "net/Sneaky.cpp:1: #include \"../app/App.h\" is not allowed"
        "ui/Bad.cpp:2: #include <QWidget> is not allowed"
        "app/Bad.cpp:1: #include \"ui/qt/View.h\" is not allowed"
        "scriptsystems/lua/Bad.cpp:2: #include \"script/ScriptHost.h\" is not allowed"
        "ScriptInterface.h:2: #include \"base/Leaf.h\" is not allowed: script/ScriptInterface.h may include nothing of the project"
        "6 include(s) cross the layering")
    string(FIND "${output}" "${expected}" found)
    if(found EQUAL -1)
        list(APPEND failures "not reported: ${expected}")
    endif()
endforeach()
foreach(allowed "Good.cpp" "App.cpp" "main.cpp" "AppTest.cpp" "lua/Lua.cpp" "ui/qt/View.h")
    string(FIND "${output}" "${allowed}:" found)
    if(NOT found EQUAL -1)
        list(APPEND failures "allowed include reported in ${allowed}")
    endif()
endforeach()

make_tree("${WORK_DIR}/clean" FALSE)
run_checker("${WORK_DIR}/clean" result clean_output)
if(NOT result EQUAL 0)
    list(APPEND failures "clean tree failed")
endif()

if(failures)
    string(REPLACE ";" "\n  " failures "${failures}")
    message(FATAL_ERROR "Layering checker:\n  ${failures}\nPlanted tree output:\n${output}\n"
                        "Clean tree output:\n${clean_output}")
endif()
