# `cmake --install`: the two programs, the read-only program files under share/corvalis-survey
# (a pristine default database that no build or test has touched, the data-file template and the
# shipped layouts and lists), a desktop entry and an icon. On first start an installed program copies
# the shared files into a folder of the user's own and works there.
include(GNUInstallDirs)

set(CORVALIS_PRISTINE_DIR ${CMAKE_BINARY_DIR}/pristine)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/pristine-folder.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CORVALIS_PRISTINE_DIR}
  COMMAND corvalis-make-folder ${CORVALIS_PRISTINE_DIR} ${CMAKE_SOURCE_DIR}/data/program
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/pristine-folder.stamp
  DEPENDS corvalis-make-folder ${PROGRAM_FILES}
  COMMENT "Assembling the program files to install")
add_custom_target(pristine_folder ALL DEPENDS ${CMAKE_BINARY_DIR}/pristine-folder.stamp)

install(TARGETS corvalis-survey corvalis-survey-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CORVALIS_PRISTINE_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/corvalis-survey
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/corvalis-survey.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/corvalis-survey.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
