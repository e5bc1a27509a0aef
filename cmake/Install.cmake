# The installable package: `cmake --install` puts the public headers, the libraries, the sample
# system's data and a CMake package config under the prefix. A host writes
#   find_package(Formulist2 CONFIG REQUIRED)
#   target_link_libraries(host PRIVATE Formulist2::Wizard)     # CFunc with the Qt front end
#   target_link_libraries(host PRIVATE Formulist2::Headless)   # CFunc without Qt
# and Formulist2::SampleSystem for the embedded sample report system.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

add_library(f2_wizard INTERFACE)
target_link_libraries(f2_wizard INTERFACE f2_cfunc f2_forms_qt)
add_library(f2_headless INTERFACE)
target_link_libraries(f2_headless INTERFACE f2_cfunc)
set_target_properties(f2_wizard PROPERTIES EXPORT_NAME Wizard)
set_target_properties(f2_headless PROPERTIES EXPORT_NAME Headless)
set_target_properties(f2_sample PROPERTIES EXPORT_NAME SampleSystem)

set(F2_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/formulist2)
set(F2_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/formulist2)
set(F2_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Formulist2)

install(TARGETS f2_automation f2_platform f2_forms f2_forms_qt f2_outside f2_environment f2_component
                f2_editor f2_picker f2_valuelist f2_reference f2_cfunc f2_sample f2_wizard f2_headless
        EXPORT Formulist2Targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${F2_INCLUDE_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/ DESTINATION ${F2_INCLUDE_DIR} FILES_MATCHING PATTERN "*.h"
        PATTERN "forms/qt/Peers.h" EXCLUDE PATTERN "forms/qt/ListViewModel.h" EXCLUDE)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/catalogue ${PROJECT_SOURCE_DIR}/data/ledger
                  ${PROJECT_SOURCE_DIR}/data/sheets
        DESTINATION ${F2_SHARE_DIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/locale DESTINATION ${F2_SHARE_DIR})
install(EXPORT Formulist2Targets NAMESPACE Formulist2:: DESTINATION ${F2_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/Formulist2Config.cmake.in
                              ${CMAKE_BINARY_DIR}/Formulist2Config.cmake
                              INSTALL_DESTINATION ${F2_CMAKE_DIR}
                              PATH_VARS F2_SHARE_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/Formulist2ConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/Formulist2Config.cmake ${CMAKE_BINARY_DIR}/Formulist2ConfigVersion.cmake
        DESTINATION ${F2_CMAKE_DIR})
