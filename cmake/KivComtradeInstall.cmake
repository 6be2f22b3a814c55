# Install rules: the library with its headers (the generated Export.h
# and Version.h included), a CMake package (KivComtradeLib::KivComtradeLib, version file with
# SameMajorVersion), a pkg-config file and the bundled samples (the host tools'
# rules are in tools/). Everything is relocatable: the package and the .pc
# file find their files relative to where they are installed.
include(CMakePackageConfigHelpers)

set(KIVCOMTRADE_CMAKE_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/KivComtradeLib")

install(TARGETS KivComtradeLib
  EXPORT KivComtradeLibTargets
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}"
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")

install(DIRECTORY "${PROJECT_SOURCE_DIR}/include/KivComtradeLib"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}"
  FILES_MATCHING PATTERN "*.h")
install(FILES "${PROJECT_BINARY_DIR}/include/KivComtradeLib/Export.h"
  "${PROJECT_BINARY_DIR}/include/KivComtradeLib/Version.h"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/KivComtradeLib")

install(EXPORT KivComtradeLibTargets
  NAMESPACE KivComtradeLib::
  FILE KivComtradeLibTargets.cmake
  DESTINATION "${KIVCOMTRADE_CMAKE_INSTALL_DIR}")

configure_package_config_file(
  "${PROJECT_SOURCE_DIR}/cmake/KivComtradeLibConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/KivComtradeLibConfig.cmake"
  INSTALL_DESTINATION "${KIVCOMTRADE_CMAKE_INSTALL_DIR}"
  PATH_VARS KIVCOMTRADE_SAMPLES_INSTALL_DIR)
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/KivComtradeLibConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/KivComtradeLibConfig.cmake"
  "${PROJECT_BINARY_DIR}/KivComtradeLibConfigVersion.cmake"
  DESTINATION "${KIVCOMTRADE_CMAKE_INSTALL_DIR}")

# pkg-config: the prefix is found from the .pc file's own folder.
file(RELATIVE_PATH KIVCOMTRADE_PC_PREFIX_FROM_PCDIR
  "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" KIVCOMTRADE_PC_PREFIX_FROM_PCDIR "${KIVCOMTRADE_PC_PREFIX_FROM_PCDIR}")
if(KIVCOMTRADE_SHARED)
  set(KIVCOMTRADE_PC_CFLAGS "")
  set(KIVCOMTRADE_PC_LIBS_PRIVATE "")
else()
  set(KIVCOMTRADE_PC_CFLAGS " -DKIVCOMTRADE_STATIC_DEFINE")
  set(KIVCOMTRADE_PC_LIBS_PRIVATE "Libs.private: -lstdc++ -lm -pthread")
endif()
configure_file("${PROJECT_SOURCE_DIR}/cmake/kivcomtradelib.pc.in"
  "${PROJECT_BINARY_DIR}/kivcomtradelib.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/kivcomtradelib.pc"
  DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")

file(GLOB KIVCOMTRADE_BUNDLED_SAMPLES CONFIGURE_DEPENDS
  "${PROJECT_SOURCE_DIR}/samples/*.cfg" "${PROJECT_SOURCE_DIR}/samples/*.dat")
install(FILES ${KIVCOMTRADE_BUNDLED_SAMPLES} DESTINATION "${KIVCOMTRADE_SAMPLES_INSTALL_DIR}")

install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/KivComtradeLib")
