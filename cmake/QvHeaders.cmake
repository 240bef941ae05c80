# Where the library's headers are found.
#
# Users include the public headers as <qvd3/FOLDER/FILE.h>, and code inside
# this project does the same ("qvd3/platform/db/session.h"): no folder with a
# generic name (platform, data, component...) ever reaches a user's include
# path. In the build tree, include/qvd3/FOLDER is a link to the source folder,
# so headers are used where they are edited; installed, they are copies under
# <prefix>/include/qvd3/.
#
# The folders whose headers are public. tools/dev/namespace-includes.sh
# rewrites includes of exactly these folders.
set(QV_LIBRARY_FOLDERS platform component data dialogs admin design)
set(QV_BUILD_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)

file(MAKE_DIRECTORY ${QV_BUILD_INCLUDE_DIR}/qvd3)
foreach(folder ${QV_LIBRARY_FOLDERS})
  set(link ${QV_BUILD_INCLUDE_DIR}/qvd3/${folder})
  if(NOT IS_SYMLINK ${link})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${link} SYMBOLIC)
  endif()
endforeach()

# The project's own programs (tests, tools, examples) include their private
# helpers by their path in the source tree ("tests/support/test_host.h").
# This is a directory property: it applies to targets of this project only
# and never travels to a user's target.
include_directories(${PROJECT_SOURCE_DIR})

# Gives `target` the include path of the public headers, for its own sources
# and for every target that links it, in the build tree and once installed.
function(qv_public_includes target)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${QV_BUILD_INCLUDE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endfunction()
