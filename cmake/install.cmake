# make install: both programs, the reader library (static, and shared with a
# versioned SONAME), its header, pkg-config and CMake package files, man pages.
include(CMakePackageConfigHelpers)

set(WAVTREX_LIBRARIES wavtrex_reader)
if(WAVTREX_SHARED)
  list(APPEND WAVTREX_LIBRARIES wavtrex_reader_shared)
endif()

install(TARGETS wavtrex wavtrex-info RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${WAVTREX_LIBRARIES} EXPORT wavtrexTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/reader/wfx.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/wavtrex)
install(FILES ${CMAKE_SOURCE_DIR}/man/wavtrex.1 ${CMAKE_SOURCE_DIR}/man/wavtrex-info.1
  ${CMAKE_SOURCE_DIR}/man/wavtrex-batch.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# find_package(wavtrex) gives wavtrex::reader (and wavtrex::reader_static).
set(WAVTREX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/wavtrex)
install(EXPORT wavtrexTargets NAMESPACE wavtrex:: DESTINATION ${WAVTREX_CMAKE_DIR})
get_target_property(WAVTREX_STATIC_EXPORT wavtrex_reader EXPORT_NAME)
if(APPLE)
  set(WAVTREX_CXX_RUNTIME c++)
elseif(MSVC)
  set(WAVTREX_CXX_RUNTIME "")
else()
  set(WAVTREX_CXX_RUNTIME "stdc++;m")
endif()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/wavtrexConfig.cmake.in
  ${CMAKE_BINARY_DIR}/generated/wavtrexConfig.cmake INSTALL_DESTINATION ${WAVTREX_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/generated/wavtrexConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/generated/wavtrexConfig.cmake
  ${CMAKE_BINARY_DIR}/generated/wavtrexConfigVersion.cmake DESTINATION ${WAVTREX_CMAKE_DIR})

# The pkg-config file finds the prefix from its own place, so it stays right
# whatever prefix `cmake --install --prefix` is given.
file(RELATIVE_PATH WAVTREX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" WAVTREX_PC_TO_PREFIX "${WAVTREX_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wavtrex.pc.in ${CMAKE_BINARY_DIR}/generated/wavtrex.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/wavtrex.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
