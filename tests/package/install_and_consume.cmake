# Installs the build into a fresh temporary prefix and uses it as a host
# developer would: the layout, qvsetup from the prefix, a CMake consumer
# project (find_package) and a pkg-config build, both outside the source
# tree. Run by CTest as
#   cmake -DQV_BINARY_DIR=... -DQV_SOURCE_DIR=... [-DQV_LAUNCHER=...] -P install_and_consume.cmake
# Every run works in a folder of its own, so runs never meet; the folder is
# removed when the run succeeds and kept for inspection when it fails.

string(RANDOM LENGTH 8 token)
set(work ${QV_BINARY_DIR}/package-test-${token})
set(prefix ${work}/prefix)
file(MAKE_DIRECTORY ${work})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}); kept ${work}\n${out}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

# Fails with `text` unless `condition` (the text of an if() condition) holds.
macro(expect condition text)
  cmake_language(EVAL CODE "if(NOT (${condition}))
    message(FATAL_ERROR \"${text}; kept ${work}\")
  endif()")
endmacro()

run("install" ${CMAKE_COMMAND} --install ${QV_BINARY_DIR} --prefix ${prefix})

# Layout: versioned libraries, headers only under include/qvd3, and no
# installed header that still includes a library folder by its bare name.
set(libdir ${prefix}/${QV_LIBDIR})
foreach(library qvplatform qvd3)
  file(REAL_PATH ${libdir}/lib${library}.so real)
  expect("real STREQUAL \"${libdir}/lib${library}.so.${QV_VERSION}\"" "lib${library}.so is not versioned")
endforeach()
file(GLOB top RELATIVE ${prefix}/include ${prefix}/include/*)
expect("top STREQUAL \"qvd3\"" "include/ holds more than qvd3/: ${top}")
file(GLOB_RECURSE headers ${prefix}/include/qvd3/*.h)
foreach(header ${headers})
  file(STRINGS ${header} bare REGEX "^#include \"(platform|component|data|dialogs|admin|design)/")
  expect("NOT bare" "${header} includes ${bare}")
endforeach()

# qvsetup from the prefix finds its libraries without help.
set(ENV{QV_ALIASES} ${work}/aliases.ini)
unset(ENV{LD_LIBRARY_PATH})
run("installed qvsetup" ${prefix}/bin/qvsetup alias add consumer sqlite ${work}/security.db)
run("installed qvsetup" ${prefix}/bin/qvsetup alias list)
expect("run_output MATCHES \"consumer\"" "qvsetup alias list does not show the new alias")

set(launcher)
if(QV_LAUNCHER)
  set(launcher -DCMAKE_CXX_COMPILER_LAUNCHER=${QV_LAUNCHER})
endif()
run("configuring the consumer" ${CMAKE_COMMAND} -S ${QV_SOURCE_DIR}/tests/package/consumer -B ${work}/consumer
  -DCMAKE_PREFIX_PATH=${prefix} -DQV_HOST_EXAMPLE=${QV_SOURCE_DIR}/examples/minimal_host/main.cpp
  -DQV_NATIVE_HOST=${QV_SOURCE_DIR}/examples/qt_native_host ${launcher})
run("building the consumer" ${CMAKE_COMMAND} --build ${work}/consumer)
run("running the consumer" ${work}/consumer/consumer)

# The same program built with nothing but the compiler and pkg-config.
set(ENV{PKG_CONFIG_PATH} ${libdir}/pkgconfig)
run("pkg-config" pkg-config --cflags --libs qvd3)
separate_arguments(flags UNIX_COMMAND "${run_output}")
run("building with pkg-config" ${QV_LAUNCHER} ${QV_CXX} -std=c++20 ${QV_SOURCE_DIR}/tests/package/consumer/main.cpp
  ${flags} -Wl,-rpath,${libdir} -o ${work}/consumer-pc)
run("running the pkg-config build" ${work}/consumer-pc)

file(REMOVE_RECURSE ${work})
