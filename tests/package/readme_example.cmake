# The README quotes host examples that the build compiles (and the package
# test compiles the minimal host against an installed qvd3): this check keeps
# each quotation and its source the same text. A block marked
# "<!-- quoted from FILE -->" quotes the whole file, or, when the file marks
# a region with a "// README quote begins" and a "// README quote ends"
# line, the lines between them.
#   cmake -DQV_SOURCE_DIR=... -P readme_example.cmake
file(READ ${QV_SOURCE_DIR}/README.md readme)

function(expect_quoted example)
  file(READ ${QV_SOURCE_DIR}/${example} source)
  set(begin "// README quote begins\n")
  string(FIND "${source}" "${begin}" from)
  if(NOT from EQUAL -1)
    string(LENGTH "${begin}" skip)
    math(EXPR from "${from} + ${skip}")
    string(SUBSTRING "${source}" ${from} -1 source)
    string(FIND "${source}" "// README quote ends\n" to)
    if(to EQUAL -1)
      message(FATAL_ERROR "${example} begins a README quote and never ends it")
    endif()
    string(SUBSTRING "${source}" 0 ${to} source)
  endif()

  set(marker "<!-- quoted from ${example} -->\n```cpp\n")
  string(FIND "${readme}" "${marker}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "README.md has no block marked '<!-- quoted from ${example} -->'")
  endif()
  string(LENGTH "${marker}" skip)
  math(EXPR at "${at} + ${skip}")
  string(SUBSTRING "${readme}" ${at} -1 rest)
  string(FIND "${rest}" "```\n" end)
  string(SUBSTRING "${rest}" 0 ${end} quoted)
  if(NOT quoted STREQUAL source)
    message(FATAL_ERROR "the README's quotation of ${example} differs from the file; copy it into the README")
  endif()
endfunction()

expect_quoted(examples/minimal_host/main.cpp)
expect_quoted(examples/qt_native_host/main.cpp)
