# Where the library's headers are found.
#
# The library's sources live under qvd3/, so every include names the file's
# real path from the top of the source tree: "qvd3/platform/db/session.h" is
# the file qvd3/platform/db/session.h. The top of the tree is the include
# path of the build (a project that adds qvd3 with add_subdirectory gets it
# too); installed, the headers are copies under <prefix>/include/qvd3/ with
# the same paths. Either way users include <qvd3/...>, and a library folder
# (platform, data, component...) is never reachable by its bare name.
#
# The folders of qvd3/ whose headers are public.
set(QV_LIBRARY_FOLDERS platform component data dialogs admin design)

# The project's own programs (tests, tools, examples) include their private
# helpers by their path in the source tree ("tests/support/test_host.h").
# This is a directory property: it applies to targets of this project only
# and never travels to a user's target.
include_directories(${PROJECT_SOURCE_DIR})

# Gives `target` the include path of the public headers, for its own sources
# and for every target that links it, in the build tree and once installed.
function(qv_public_includes target)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endfunction()
