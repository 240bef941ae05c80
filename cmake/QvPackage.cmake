# Installing qvd3: versioned shared libraries, the public headers under
# include/qvd3/, qvsetup, a CMake package (find_package(qvd3), targets
# qvd3::qvd3, qvd3::qvplatform and qvd3::qvplatform_qt) and pkg-config files.
include(CMakePackageConfigHelpers)

set(QV_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qvd3)
# While the major version is 0 any minor release may change the ABI.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(QV_SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
else()
  set(QV_SOVERSION ${PROJECT_VERSION_MAJOR})
endif()

# Installed programs and libraries find the libraries beside them relative to
# their own place, so the prefix can be moved as a whole.
file(RELATIVE_PATH QV_BIN_TO_LIB
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})

set(QV_INSTALLED_LIBRARIES qvplatform qvd3)
if(TARGET qvplatform_qt)
  list(APPEND QV_INSTALLED_LIBRARIES qvplatform_qt)
endif()
foreach(library ${QV_INSTALLED_LIBRARIES})
  # The same names for a project that adds qvd3 with add_subdirectory.
  add_library(qvd3::${library} ALIAS ${library})
  set_target_properties(${library} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${QV_SOVERSION}
    INSTALL_RPATH "$ORIGIN")
endforeach()
set_target_properties(qvsetup PROPERTIES INSTALL_RPATH "$ORIGIN/${QV_BIN_TO_LIB}")

install(TARGETS qvplatform qvd3 EXPORT qvd3Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT devel
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT qvd3Targets NAMESPACE qvd3:: DESTINATION ${QV_PACKAGE_DIR} COMPONENT devel)
if(TARGET qvplatform_qt)
  install(TARGETS qvplatform_qt EXPORT qvd3QtTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT devel)
  install(EXPORT qvd3QtTargets NAMESPACE qvd3:: DESTINATION ${QV_PACKAGE_DIR} COMPONENT devel)
endif()
install(TARGETS qvsetup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

# The headers of every library folder of qvd3/, under include/qvd3/ with the
# same relative path, so a header's installed path is its path in the
# source tree; the Qt backend's only when it is built.
foreach(folder ${QV_LIBRARY_FOLDERS})
  if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/qvd3/${folder})
    set(skip_qt)
    if(NOT TARGET qvplatform_qt)
      set(skip_qt PATTERN qt EXCLUDE)
    endif()
    install(DIRECTORY qvd3/${folder} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qvd3 COMPONENT devel
      FILES_MATCHING PATTERN "*.h" ${skip_qt})
  endif()
endforeach()

configure_package_config_file(cmake/qvd3Config.cmake.in
  ${PROJECT_BINARY_DIR}/qvd3Config.cmake INSTALL_DESTINATION ${QV_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qvd3ConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qvd3Config.cmake ${PROJECT_BINARY_DIR}/qvd3ConfigVersion.cmake
  DESTINATION ${QV_PACKAGE_DIR} COMPONENT devel)

# pkg-config: qvd3 (component and platform) and qvd3-qt (the Qt backend).
set(QV_PC_FILES qvd3)
if(TARGET qvplatform_qt)
  list(APPEND QV_PC_FILES qvd3-qt)
endif()
file(RELATIVE_PATH QV_PC_TO_PREFIX
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QV_PC_TO_PREFIX "${QV_PC_TO_PREFIX}")
foreach(pc ${QV_PC_FILES})
  configure_file(cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT devel)
endforeach()
