# The README quotes examples/minimal_host/main.cpp, which the build compiles
# (and the package test compiles against an installed qvd3): this check keeps
# the quotation and the file the same text.
#   cmake -DQV_SOURCE_DIR=... -P readme_example.cmake
set(example examples/minimal_host/main.cpp)
file(READ ${QV_SOURCE_DIR}/README.md readme)
file(READ ${QV_SOURCE_DIR}/${example} source)
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
  message(FATAL_ERROR "the README's host example differs from ${example}; copy the file into the README")
endif()
